# Bar chart of the benchmark's medians, from build/bench/chart.dat.
set terminal png size 900,420 font ",10"
set output "docs/performance.png"
set title "Start-up under Wine: median time per command (lower is better)"
set ylabel "ms"
set style fill solid 0.7 border -1
set boxwidth 0.6
set grid ytics
set yrange [0:*]
set xtics noenhanced font ",9"
unset key
plot "build/bench/chart.dat" using 0:2:xtic(1) with boxes lc rgb "#4472c4", \
     "" using 0:2:(sprintf("%.0f", $2)) with labels offset 0,0.7
