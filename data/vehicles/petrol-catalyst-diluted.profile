# For the dilution check: a sample diluted the whole time gives no valid average.
#
# Petrol catalyst car measured with the probe half out of the tail pipe: about two thirds
# of the sample is air, CO + CO2 stays near 5.3 %, below the 6 % dilution threshold, and O2
# reads about 13.5 %. No average is valid, so the test is void, not passed.
#
# High idle lasts 50 s, as a phase without a valid average runs its whole measuring time.
#
# time  speed  CO     CO2    HC   O2     oil
0       800    0.000  0.00   0    20.85  86.0   # probe in clean air
3       800    0.040  5.20   15   13.60  86.0   # probe only half in the pipe
10      810    0.040  5.20   15   13.60  86.2   # warm idle
13      2700   0.030  5.30   10   13.50  86.5   # high idle
63      2700   0.030  5.30   10   13.50  87.0   # held 50 s
66      800    0.040  5.20   15   13.60  87.0   # idle
111     800    0.040  5.20   15   13.60  87.0   # idle from here on
