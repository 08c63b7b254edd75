# The copy tool's refresh on every mouse movement: median time per call.
"$QM_BENCH_BIN/refresh_bench"
