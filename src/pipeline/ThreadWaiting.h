#pragma once
// OpenMP threads that wait at the end of a parallel loop sleep instead of spinning.
//
// By default GNU OpenMP lets a waiting thread spin for a long while before it sleeps. On a
// machine whose cores are busy with other work (a compiler, another user's job) the spinning
// threads take the cores from the threads that still compute, and a run with the default
// team becomes several times slower than on one thread. Passive waiting costs a run on an
// idle machine nothing measurable: its parallel regions are rows of complexes that take
// milliseconds, a sleeping thread wakes in microseconds.

namespace marlinq {

// The value this program gives OMP_WAIT_POLICY when the user chose none.
inline constexpr const char* kPassiveWaitPolicy = "passive";

// True when the user chose how OpenMP threads wait (OMP_WAIT_POLICY or GOMP_SPINCOUNT set).
bool openMpWaitChosen();

// Called first in main, before any OpenMP construct. Unless the user chose how OpenMP
// threads wait, sets OMP_WAIT_POLICY=passive. GNU OpenMP reads its environment when it is
// loaded, before main, so the program then starts itself again (same arguments, same
// process id) for the runtime to see it; if that cannot be done, it goes on as it is.
void waitPassivelyInOpenMp(char** argv);

}  // namespace marlinq
