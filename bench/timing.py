"""Times the benchmark's commands under Wine, run after run in rotating order (A B C ..., then
B C ... A, and so on), so that a machine whose speed drifts during the benchmark weighs on every
command alike. Each round times every command once; the ratio of two commands is also taken
round by round, and its median reported beside the ratio of the medians.

    timing.py OUT.json WARMUP RUNS NAME=DIR=PROGRAM [ARG ...] [--env=VAR=VALUE ...] -- NAME=DIR=PROGRAM ...

Blanks split a NAME=DIR=PROGRAM ARG text into the program and its arguments; an --env=VAR=VALUE
argument of its own sets VAR for that command alone, whatever VALUE holds.
"""
import json
import os
import subprocess
import sys
import time

out, warmup, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
groups = [[]]
for arg in sys.argv[4:]:
    if arg == "--":
        groups.append([])
    else:
        groups[-1].append(arg)
commands = []
for group in groups:
    env = dict(os.environ)
    words = []
    for arg in group:
        if arg.startswith("--env="):
            variable, value = arg[len("--env="):].split("=", 1)
            env[variable] = value
        else:
            words += arg.split(" ")
    head, *args = words
    name, cwd, program = head.split("=", 2)
    commands.append((name.replace("_", " "), cwd, ["wine", program, *args], env))

quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
times = {name: [] for name, _, _, _ in commands}
for round_number in range(warmup + runs):
    shift = round_number % len(commands)
    for name, cwd, argv, env in commands[shift:] + commands[:shift]:
        start = time.perf_counter()
        subprocess.run(argv, cwd=cwd, env=env, check=True, **quiet)
        elapsed = time.perf_counter() - start
        if round_number >= warmup:
            times[name].append(elapsed * 1000)
json.dump({"order": [name for name, _, _, _ in commands], "times_ms": times}, open(out, "w"), indent=1)
