# Generators of the benchmark inputs, sourced by the bench scripts. Each prints an input file.

# 10^7 slots and 10^7 keys j*10^7 + r, r < 46512: every home slot lies in [0, 46512), so one
# cluster grows across the whole table and the keys that no longer fit are dropped.
clustered() {
  echo 1; echo "10000000 0 0"
  awk 'BEGIN { n = 0; for (r = 0; r < 46512 && n < 10000000; r++) for (j = 0; j < 215 && n < 10000000; j++) { printf "%d ", j * 10000000 + r; n++; if (n == 5000000) printf "\n" } printf "\n" }'
}
random_keys() {
  echo 1; echo "10000000 0 0"
  awk 'BEGIN { srand(7); for (i = 1; i <= 10000000; i++) { printf "%d ", int(rand() * 2147483647); if (i == 5000000) printf "\n" } printf "\n" }'
}
small_cases() {
  awk 'BEGIN { srand(11); print 100000; for (c = 0; c < 100000; c++) { print "11 0 0"; for (i = 0; i < 6; i++) printf "%d ", int(rand() * 1000); printf "\n"; for (i = 0; i < 3; i++) printf "%d ", int(rand() * 1000); printf "\n" } }'
}
