# For a failing test, and for ending a test (Esc, the close button, a kill) after a failing
# high-idle average: every high-idle sample is undiluted (CO + CO2 about 15 %), so each
# average there is valid and fails.
#
# Petrol car with a lambda-controlled catalyst whose catalyst has aged: CO 0.60 % at high
# idle (2700 min-1) fails the 0.2 % and 0.3 % limits; lambda stays inside 0.97-1.03 and idle
# CO 0.25 % passes the 0.3 % limit, so only the high idle CO decides.
#
# High idle lasts 50 s: a failing phase runs its whole measuring time (10 s to stabilise
# and 30 s measuring at the default times) before it ends.
#
# time  speed  CO     CO2    HC   O2     oil
0       800    0.000  0.00   0    20.85  88.0   # probe in clean air
3       800    0.250  14.60  60   0.40   88.0   # probe in the tail pipe
10      800    0.250  14.60  60   0.40   88.0   # warm idle
13      2700   0.600  14.50  60   0.45   88.5   # high idle
63      2700   0.600  14.50  60   0.45   89.0   # held 50 s
66      800    0.250  14.60  60   0.40   89.0   # idle
111     800    0.250  14.60  60   0.40   89.0   # idle from here on
