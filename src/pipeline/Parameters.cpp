#include "pipeline/Parameters.h"

namespace marlinq {

Parameters startupParameters() {
    Parameters p;
    p.kip = 0.25;
    p.kim = 0.25;
    p.ka = 0.2;
    p.vc01 = 1e-3;
    p.vc10 = 1e-3;
    p.zp = 18.0;
    p.zn = 18.0;
    p.Np = 1;
    p.Nm = 200;
    p.mpMin = 0;
    p.mpMax = 10;
    p.mmMin = 0;
    p.mmMax = 10;
    return p;
}

}  // namespace marlinq
