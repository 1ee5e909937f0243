"""oxa benchmark: medians of every operation, each as a ratio to a baseline
measured in the same run, peak memory from fresh child processes, a table on
standard output and a bar chart under the output directory.

    python -P bench/run.py --scrypt-program PATH --floor-program PATH [--rounds N] [--out DIR]

Everything happens under a fresh temporary directory, which is also HOME for
the run, so the user's own vault is never read or written. The benchmark
reports; it never fails on a slow figure.
"""

import argparse
import json
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import baselines
import report
import rows as row_table
import workload
from oxa import _native as native


def check_peer_addresses(vaults: dict) -> None:
    """The peer must derive what oxa derives, or its time means nothing."""
    ours = [
        a["address"]
        for a in native.get_wallet(
            workload.MNEMONIC_WALLET, vault_path_opt=vaults[workload.VAULT_SIZES[0]].path
        )["accounts"]
    ]
    theirs = baselines.bip_utils_six_addresses()()
    if ours != theirs:
        raise SystemExit(f"bip-utils derived {theirs}, oxa {ours}")


def timed(call) -> float:
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


class Programs:
    """The C++ reference programs: one scrypt timer per implementation (so that
    each reports its own memory) and the system-call floor of a scan."""

    def __init__(self, scrypt_program: str, floor_program: str):
        self.scrypt = {
            label: baselines.ReferenceProgram(scrypt_program)
            for label in row_table.SCRYPT_PROGRAM_ROWS
        }
        self.floor = baselines.ReferenceProgram(floor_program)

    def measures(self, label: str) -> bool:
        return label in self.scrypt or label == row_table.FLOOR

    def timed_call(self, key: tuple, vaults: dict) -> float:
        label, size = key
        if label == row_table.FLOOR:
            return self.floor.timed_call(vaults[size].wallets_dir)
        return self.scrypt[label].timed_call(row_table.SCRYPT_PROGRAM_ROWS[label])

    def close(self) -> dict:
        """Each program's (resident before the first call, peak), by row label."""
        memory = {label: program.close() for label, program in self.scrypt.items()}
        memory[row_table.FLOOR] = self.floor.close()
        return memory


def measure_times(
    rows: list, callables: dict, programs: Programs, vaults: dict, rounds: int
) -> tuple[dict, dict]:
    """Seconds per call, and for every row with a baseline the ratio of each
    call to a call of its baseline made just before it: a load that comes
    and goes on a shared machine then weighs on both sides of the ratio.
    Sampled in rounds; within a round the rows run in a shuffled order."""
    samples = {row.key: [] for row in rows}
    ratios = {row.key: [] for row in rows if row.baseline is not None}

    def sample(key) -> float:
        if programs.measures(key[0]):
            return programs.timed_call(key, vaults)
        seconds = timed(callables[key])
        workload.tidy(callables[key])
        return seconds

    for row in rows:  # warm-up: first-call costs (page tables, lazy set-up) stay out
        sample(row.key)
    rng = random.Random(2024)
    for number in range(rounds):
        order = list(rows)
        rng.shuffle(order)
        for row in order:
            for _ in range(row_table.inner_calls(row)):
                if row.baseline is None:
                    samples[row.key].append(sample(row.key))
                    continue
                base = sample(row.baseline)
                samples[row.baseline].append(base)
                seconds = sample(row.key)
                samples[row.key].append(seconds)
                ratios[row.key].append(seconds / base)
        print(f"  round {number + 1}/{rounds} done", file=sys.stderr, flush=True)
    return samples, ratios


class Launcher:
    """Starts the memory probes. Linux hands a new process the peak RSS of the
    process it was forked from as its own starting ru_maxrss, so the probes are
    started by this small process, launched before the driver grows."""

    def __init__(self):
        self._process = subprocess.Popen(
            [sys.executable, "-P", os.path.abspath(__file__), "--launcher"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            bufsize=1,
        )

    def run(self, argv: list) -> dict:
        self._process.stdin.write(json.dumps(argv) + "\n")
        self._process.stdin.flush()
        return json.loads(self._process.stdout.readline())

    def close(self) -> None:
        self._process.stdin.close()
        self._process.wait()


def serve_launches() -> None:
    """The launcher's side: one JSON argv per line in, one JSON result per line out."""
    for line in sys.stdin:
        result = subprocess.run(json.loads(line), capture_output=True, text=True, check=False)
        print(
            json.dumps(
                {"returncode": result.returncode, "stdout": result.stdout, "stderr": result.stderr}
            ),
            flush=True,
        )


def probe_memory(launcher: Launcher, row, context_path: str) -> dict:
    """Runs the row once in a fresh interpreter; its peak RSS before and after."""
    result = launcher.run(
        [
            sys.executable,
            "-P",
            os.path.abspath(__file__),
            "--probe",
            context_path,
            row.label,
            str(row.size or 0),
        ]
    )
    if result["returncode"] != 0:
        raise SystemExit(f"memory probe of {row.label} failed:\n{result['stderr']}")
    return json.loads(result["stdout"].strip().splitlines()[-1])


def run_probe(context_path: str, label: str, size: int) -> None:
    """Child side of probe_memory."""
    with open(context_path, encoding="utf-8") as f:
        context = json.load(f)
    vaults = {v.size: v for v in workload.load_vaults(context["vaults"])}
    row = next(r for r in row_table.all_rows() if r.label == label and (r.size or 0) == size)
    call = row_table.make_callable(row, vaults, context["keystore"])
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    call()
    after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    workload.tidy(call)
    print(json.dumps({"before_kib": before, "after_kib": after}))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scrypt-program", help="the built oxa_scrypt_timer")
    parser.add_argument("--floor-program", help="the built oxa_scan_floor")
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--out", default="build/bench")
    parser.add_argument(
        "--only",
        action="append",
        metavar="TEXT",
        help="run only the rows whose label holds TEXT (repeatable), with their baselines",
    )
    parser.add_argument(
        "--probe", nargs=3, metavar=("CONTEXT", "LABEL", "SIZE"), help=argparse.SUPPRESS
    )
    parser.add_argument("--launcher", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.launcher:
        serve_launches()
        return
    if args.probe:
        run_probe(args.probe[0], args.probe[1], int(args.probe[2]))
        return
    if not args.scrypt_program or not args.floor_program:
        parser.error("--scrypt-program and --floor-program are required")

    root = tempfile.mkdtemp(prefix="oxa-bench-")
    os.environ["HOME"] = root  # a call that forgot its vault path still stays in here
    # Both start while this process is small: see Launcher.
    launcher = Launcher()
    programs = Programs(args.scrypt_program, args.floor_program)
    try:
        started = time.monotonic()
        print(
            f"making vaults of {', '.join(map(str, workload.VAULT_SIZES))} wallets under {root}",
            file=sys.stderr,
            flush=True,
        )
        vaults = {v.size: v for v in workload.make_vaults(root)}
        check_peer_addresses(vaults)
        context_path = os.path.join(root, "context.json")
        workload.save_vaults(list(vaults.values()), os.path.join(root, "vaults.json"))
        keystore = baselines.make_keystore()
        with open(context_path, "w", encoding="utf-8") as f:
            json.dump({"vaults": os.path.join(root, "vaults.json"), "keystore": keystore}, f)

        rows = row_table.selected_rows(args.only)
        callables = {
            row.key: row_table.make_callable(row, vaults, keystore)
            for row in rows
            if not programs.measures(row.label)
        }
        load_before = os.getloadavg()
        samples, ratios = measure_times(rows, callables, programs, vaults, args.rounds)
        program_memory = programs.close()
        load_after = os.getloadavg()

        print("measuring peak memory in fresh processes", file=sys.stderr, flush=True)
        memory = {}
        for row in rows:
            if programs.measures(row.label):
                before, after = program_memory[row.label]
                memory[row.key] = {"before_kib": before, "after_kib": after}
            else:
                memory[row.key] = probe_memory(launcher, row, context_path)

        medians = {key: statistics.median(values) for key, values in samples.items()}
        ratio_medians = {key: statistics.median(values) for key, values in ratios.items()}
        machine = {
            "cores": os.cpu_count(),
            "usable_cores": len(os.sched_getaffinity(0)),
            "load_before": load_before,
            "load_after": load_after,
            "rounds": args.rounds,
            "seconds": time.monotonic() - started,
        }
        os.makedirs(args.out, exist_ok=True)
        figures = report.Figures(medians, ratio_medians, samples, memory)
        print(report.table(rows, figures, machine))
        chart = os.path.join(args.out, "bench.png")
        report.chart(rows, figures, chart)
        report.save_json(rows, figures, machine, os.path.join(args.out, "bench.json"))
        print(f"\nchart: {chart}")
        launcher.close()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
