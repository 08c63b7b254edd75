# The number of parallel jobs for builds and test runs, the same in every script:
# QM_JOBS when set, else the number of processors. Source it (sh or bash).
QM_JOBS=${QM_JOBS:-$(nproc)}
export QM_JOBS
