# For a passing LPG test: lambda with the LPG fuel constant.
#
# Car running on LPG with a lambda-controlled catalyst, in good order: CO2 about 13.8 %
# (lower than petrol's), lambda about 1.006 at idle and 1.005 at high idle with the LPG
# fuel constant. Passes the two-speed test when the fuel is set to LPG.
#
# time  speed  CO     CO2    HC   O2     oil
0       750    0.000  0.00   0    20.85  90.0   # probe in clean air
3       750    0.050  13.80  25   0.20   90.0   # probe in the tail pipe
10      760    0.050  13.80  25   0.20   90.2   # warm idle
13      2700   0.040  13.90  20   0.15   90.5   # high idle
58      2700   0.040  13.90  20   0.15   91.0   # held 45 s
61      750    0.050  13.80  25   0.20   91.0   # idle
106     750    0.050  13.80  25   0.20   91.0   # idle from here on
