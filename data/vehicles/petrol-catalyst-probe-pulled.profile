# For the momentary probe pull at idle: a result bent by pulling the probe out of the tail
# pipe for one second must not pass.
#
# Petrol car with a lambda-controlled catalyst whose idle CO is too high: high idle passes
# (2700 min-1, CO 0.08 %, lambda about 1.004) and idle CO 0.36 % fails the 0.3 % limit. At the
# default times idle begins at about 60.5 s (the speed falls below 1100 min-1), stabilises
# until about 70.5 s and has its first 5-s average at about 75.5 s. From 73 s to 74 s the
# probe is out and reads air: the two samples a 9600-baud station takes in that second (five
# lines at 1200 baud) have CO + CO2 near 0, far below the 6 % threshold. A 5-s average of ten
# samples holding both gives CO 0.29 % and CO + CO2 about 12 %: a valid average under the
# limit, had only averages been checked. Every other idle sample fails.
#
# time  speed  CO     CO2    HC   O2     oil
0       800    0.000  0.00   0    20.85  86.0   # probe in clean air
3       800    0.360  14.60  60   0.40   86.0   # probe in the tail pipe
10      810    0.360  14.60  60   0.40   86.2   # warm idle
13      2700   0.080  14.90  25   0.15   86.5   # high idle
58      2700   0.080  14.90  25   0.15   87.0   # held 45 s
61      800    0.360  14.60  60   0.40   87.0   # idle
73      800    0.360  14.60  60   0.40   87.0
73.05   800    0.000  0.00   0    20.85  87.0   # the probe pulled out ...
74      800    0.000  0.00   0    20.85  87.0
74.05   800    0.360  14.60  60   0.40   87.0   # ... and back in after one second
106     800    0.360  14.60  60   0.40   87.0   # idle from here on
