# For a passing test: both phases pass at their first valid average.
#
# Petrol car with a lambda-controlled catalyst, in good order: passes the two-speed test.
# Idle about 800 min-1 with CO 0.10 %, CO2 14.8 %, lambda about 1.005; high idle 2700 min-1
# with CO 0.08 %, lambda about 1.004. Oil warm (86-87 degC) from the start.
#
# The operator holds high idle first, then idle: the script goes probe in clean air ->
# probe in the pipe at warm idle -> high idle for 45 s -> idle for good. Each speed lasts
# long enough for a phase at the default times (10 s to stabilise, up to 30 s measuring).
# Run it with --hold and send "go" when the station asks for high idle, or "go 58" to jump
# to the return to idle.
#
# time  speed  CO     CO2    HC   O2     oil
0       800    0.000  0.00   0    20.85  86.0   # probe in clean air: the hang-up check reads clean
3       800    0.100  14.80  40   0.20   86.0   # probe in the tail pipe, the sample reaches the bench
10      810    0.100  14.80  40   0.20   86.2   # warm idle
13      2700   0.080  14.90  25   0.15   86.5   # accelerator pressed to high idle
58      2700   0.080  14.90  25   0.15   87.0   # held 45 s
61      800    0.100  14.80  40   0.20   87.0   # released to idle
106     800    0.100  14.80  40   0.20   87.0   # idle from here on
