# Bar chart of the benchmark's medians, from build/bench/chart.dat, into out_dir/performance.png;
# emulated is non-zero where the 32-bit programs ran under emulation.
set terminal png size 1100,440 font ",10"
set bmargin 4
set output out_dir . "/performance.png"
set title (emulated ? "Start-up under Wine, 32-bit programs EMULATED: median time per command (lower is better)" \
                    : "Start-up under Wine: median time per command (lower is better)")
set ylabel "ms"
set style fill solid 0.7 border -1
set boxwidth 0.6
set grid ytics
stats "build/bench/chart.dat" using 2 nooutput
set yrange [0:STATS_max * 1.15]
set xtics noenhanced font ",9"
unset key
# The data file writes a line break as the two characters \ and n.
two_lines(s) = (i = strstrt(s, "\\n"), i ? s[1:i-1] . "\n" . s[i+2:] : s)
plot "build/bench/chart.dat" using 0:2:xtic(two_lines(strcol(1))) with boxes lc rgb "#4472c4", \
     "" using 0:2:(sprintf("%.0f", $2)) with labels offset 0,0.7
