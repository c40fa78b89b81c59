# For the idle-only test of a car without a catalyst (3.5 % CO limit).
#
# Old petrol car without a catalyst (registered after 1.10.1986): CO about 2.5 % at idle,
# within the 3.5 % limit. Such a car has no high idle phase, so the script only idles.
#
# time  speed  CO     CO2    HC   O2     oil
0       900    0.000  0.00   0    20.85  84.0   # probe in clean air
3       900    2.500  13.00  350  1.00   84.0   # probe in the tail pipe
20      880    2.550  12.95  360  1.00   85.0   # idle, a little uneven
40      910    2.480  13.05  340  0.95   85.5
60      900    2.500  13.00  350  1.00   86.0   # idle from here on
