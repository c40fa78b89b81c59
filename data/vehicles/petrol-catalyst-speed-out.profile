# For the speed window at high idle: stabilisation restarted, then the countdown paused.
#
# Passing petrol catalyst car (the gases of petrol-catalyst-pass) whose driver cannot hold
# high idle: the speed falls to 2300 min-1, below the 2500-3000 window, for about 7 s
# (more than 2 s outside: stabilisation starts again), comes back, then dips to 2400 for
# about 1.3 s (the countdown only pauses), and then holds 2700 for 45 s.
#
# time  speed  CO     CO2    HC   O2     oil
0       800    0.000  0.00   0    20.85  86.0   # probe in clean air
3       800    0.100  14.80  40   0.20   86.0   # probe in the tail pipe
10      810    0.100  14.80  40   0.20   86.2   # warm idle
13      2700   0.080  14.90  25   0.15   86.5   # high idle
20      2700   0.080  14.90  25   0.15   86.5
22      2300   0.090  14.85  30   0.17   86.5   # falls out of the window ...
27      2300   0.090  14.85  30   0.17   86.6
29      2700   0.080  14.90  25   0.15   86.6   # ... and comes back after about 7 s outside
31      2700   0.080  14.90  25   0.15   86.6
31.5    2400   0.080  14.90  25   0.15   86.6   # a short dip, about 1.3 s below 2500
32.5    2400   0.080  14.90  25   0.15   86.6
33      2700   0.080  14.90  25   0.15   86.6
78      2700   0.080  14.90  25   0.15   87.0   # held 45 s
81      800    0.100  14.80  40   0.20   87.0   # idle
126     800    0.100  14.80  40   0.20   87.0   # idle from here on
