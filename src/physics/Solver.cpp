#include "physics/Solver.h"

#include "kernel/Fatal.h"
#include "kernel/Matrix.h"

#include <cmath>

namespace marlinq {

namespace {
// The stencils read u[0..n-1] and x[0..n-1] and the boundary rows reach two points
// inwards; an iterate of another size than the grid is the caller's error, caught here
// before any element is read rather than after the step by the size check of the update.
void checkGrid(const Vtr& x, const Vtr& u, std::int32_t n) {
    if (u.size() != n || x.size() < n) raiseKernelError(kBadVectorSizes);
    if (n < 3) raiseKernelError("a radial grid needs at least 3 points");
}

// sinh(u) and cosh(u) from one expm1(|u|) instead of two library calls, by the formulas
// glibc uses for |u| < 22 (sinh: h (2t - t^2/(t+1)) below 1, h (t + t/(t+1)) above;
// cosh: 1 + t^2 / (2 (1+t)) below 0.5 ln 2, ((1+t) + 1/(1+t)) / 2 above, where glibc takes
// exp(|u|) for 1+t). sinh agrees with std::sinh to the last bit (but for |u| < 2^-28), cosh
// with std::cosh within 2 ulp. Beyond 22 (never met by a converging potential) the library
// functions are used.
struct SinhCosh {
    double sinh, cosh;
};
inline SinhCosh sinhCosh(double u) {
    const double a = std::fabs(u);
    if (!(a < 22.0)) return {std::sinh(u), std::cosh(u)};
    const double t = std::expm1(a);
    const double w = 1.0 + t;
    const double h = u < 0.0 ? -0.5 : 0.5;
    const double sh = a < 1.0 ? h * (2.0 * t - t * t / w) : h * (t + t / w);
    const double ch = a < 0x1.62e43p-2 ? 1.0 + (t * t) / (w + w) : 0.5 * w + 0.5 / w;
    return {sh, ch};
}
}  // namespace

void Solver::assembleSphere(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n,
                            Vtr& F, BandMatrix& J) {
    // Zero slope at both ends, second-order one-sided differences.
    F[0] = (4.0 * u[1] - u[2]) - 3.0 * u[0];
    J(0, 0) = -3.0;
    J(0, 1) = 4.0;
    J(0, 2) = -1.0;
    F[n - 1] = (3.0 * u[n - 1] - 4.0 * u[n - 2]) + u[n - 3];
    J(n - 1, n - 1) = 3.0;
    J(n - 1, n - 2) = -4.0;
    J(n - 1, n - 3) = 1.0;

    const double h2 = h * h;
    const double kappa2 = kappa * kappa;
    for (std::int32_t i = 1; i <= n - 2; ++i) {
        const double xi = x[i];
        const double D2 = ((u[i - 1] + u[i + 1]) - 2.0 * u[i]) / h2;
        const double D1 = (u[i + 1] - u[i - 1]) / (2.0 * h);
        const double s = kappa2 * xi;
        const SinhCosh sc = sinhCosh(u[i]);
        // The equation is multiplied by x; the core (x < 1, strictly) carries the source 3q.
        if (xi < 1.0)
            F[i] = ((xi * D2 + 2.0 * D1) + 3.0 * xi * q) - sc.sinh * s;
        else
            F[i] = (xi * D2 + 2.0 * D1) - sc.sinh * s;
        J(i, i - 1) = xi / h2 - 1.0 / h;
        J(i, i) = (-2.0 * xi) / h2 - sc.cosh * s;
        J(i, i + 1) = 1.0 / h + xi / h2;
    }
}

void Solver::assembleCylinder(const Vtr& x, const Vtr& y, double h, double k, Vtr& F, BandMatrix& J) {
    const std::int32_t n = x.size();
    // Robin condition y' = k y at the cylinder surface.
    F[0] = ((4.0 * y[1] - y[2]) - 3.0 * y[0]) / (2.0 * h) - k * y[0];
    J(0, 0) = -3.0 / (2.0 * h) - k;
    J(0, 1) = 2.0 / h;
    J(0, 2) = -1.0 / (2.0 * h);
    // Dirichlet y = 1 (u = 0) far away.
    F[n - 1] = y[n - 1] - 1.0;
    J(n - 1, n - 1) = 1.0;

    const double h2 = h * h;
    for (std::int32_t i = 1; i <= n - 2; ++i) {
        const double xi = x[i];
        const double yi = y[i];
        const double d = y[i + 1] - y[i - 1];
        F[i] = ((y[i - 1] + y[i + 1]) - 2.0 * yi) / h2 - (d * d) / (4.0 * h * h * yi) + d / (2.0 * h * xi) -
               (yi * yi - 1.0) * 0.5;
        J(i, i - 1) = ((0.5 * d) / h2) / yi + 1.0 / h2 - 0.5 / (xi * h);
        J(i, i) = (0.25 * d * d) / (yi * yi * h2) - 2.0 / h2 - yi;
        J(i, i + 1) = 1.0 / h2 - (0.5 * d) / (h2 * yi) + 0.5 / (xi * h);
    }
}

Vtr Solver::sphereStep(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n) {
    checkGrid(x, u, n);
    Vtr F(n, 0.0);
    BandMatrix J(n);
    assembleSphere(x, u, q, h, kappa, n, F, J);
    const Vtr delta = J.solve(F);
    return u - 0.5 * delta;  // every correction is halved
}

Vtr Solver::cylinderStep(const Vtr& x, const Vtr& y, double h, double k) {
    const std::int32_t n = x.size();
    checkGrid(x, y, n);
    Vtr F(n, 0.0);
    BandMatrix J(n);
    assembleCylinder(x, y, h, k, F, J);
    const Vtr delta = J.solve(F);
    return y - delta;
}

Vtr Solver::sphereStepDense(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n) {
    checkGrid(x, u, n);
    Vtr F(n, 0.0);
    BandMatrix J(n);
    assembleSphere(x, u, q, h, kappa, n, F, J);
    const Matrix Jinv = J.toDense().inv();
    return u - (0.5 * Jinv) * F;
}

Vtr Solver::cylinderStepDense(const Vtr& x, const Vtr& y, double h, double k) {
    const std::int32_t n = x.size();
    checkGrid(x, y, n);
    Vtr F(n, 0.0);
    BandMatrix J(n);
    assembleCylinder(x, y, h, k, F, J);
    const Matrix Jinv = J.toDense().inv();
    return y - Jinv * F;
}

}  // namespace marlinq
