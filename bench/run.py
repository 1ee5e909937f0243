"""oxa benchmark: medians of every operation, each as a ratio to a baseline
measured in the same run, peak memory from fresh child processes, a table on
standard output and a bar chart under the output directory.

    python -P bench/run.py --scrypt-program PATH [--rounds N] [--out DIR]

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

import baselines  # noqa: E402
import report  # noqa: E402
import rows as row_table  # noqa: E402
import workload  # noqa: E402
from oxa import _native as native  # noqa: E402


def check_peer_addresses(vaults: dict) -> None:
    """The peer must derive what oxa derives, or its time means nothing."""
    ours = [a["address"] for a in native.get_wallet(
        workload.MNEMONIC_WALLET, vault_path_opt=vaults[workload.VAULT_SIZES[0]].path)["accounts"]]
    theirs = baselines.bip_utils_six_addresses()()
    if ours != theirs:
        raise SystemExit(f"bip-utils derived {theirs}, oxa {ours}")


def timed(call) -> float:
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def measure_times(rows: list, callables: dict, sodium: baselines.SodiumScrypt,
                  rounds: int) -> dict:
    """Seconds per call, sampled in rounds; within a round every row runs in a
    shuffled order, so that a busy moment of the machine spreads over all rows."""
    samples = {row.key: [] for row in rows}
    rng = random.Random(2024)
    for row in rows:  # warm-up: first-call costs (page tables, lazy set-up) stay out
        if row.label != row_table.SCRYPT:
            callables[row.key]()
            workload.tidy(callables[row.key])
    sodium.timed_call()
    for number in range(rounds):
        order = list(rows)
        rng.shuffle(order)
        for row in order:
            for _ in range(row_table.inner_calls(row)):
                if row.label == row_table.SCRYPT:
                    samples[row.key].append(sodium.timed_call())
                    continue
                samples[row.key].append(timed(callables[row.key]))
                workload.tidy(callables[row.key])
        print(f"  round {number + 1}/{rounds} done", file=sys.stderr, flush=True)
    return samples


def probe_memory(row, context_path: str) -> dict:
    """Runs the row once in a fresh interpreter; its peak RSS before and after."""
    result = subprocess.run(
        [sys.executable, "-P", os.path.abspath(__file__), "--probe", context_path, row.label,
         str(row.size or 0)],
        capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise SystemExit(f"memory probe of {row.label} failed:\n{result.stderr}")
    return json.loads(result.stdout.strip().splitlines()[-1])


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
    parser.add_argument("--scrypt-program", help="the built oxa_scrypt_baseline")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--out", default="build/bench")
    parser.add_argument("--probe", nargs=3, metavar=("CONTEXT", "LABEL", "SIZE"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.probe:
        run_probe(args.probe[0], args.probe[1], int(args.probe[2]))
        return
    if not args.scrypt_program:
        parser.error("--scrypt-program is required")

    root = tempfile.mkdtemp(prefix="oxa-bench-")
    os.environ["HOME"] = root  # a call that forgot its vault path still stays in here
    try:
        started = time.monotonic()
        print(f"making vaults of {', '.join(map(str, workload.VAULT_SIZES))} wallets "
              f"under {root}", file=sys.stderr, flush=True)
        vaults = {v.size: v for v in workload.make_vaults(root)}
        check_peer_addresses(vaults)
        context_path = os.path.join(root, "context.json")
        workload.save_vaults(list(vaults.values()), os.path.join(root, "vaults.json"))
        keystore = baselines.make_keystore()
        with open(context_path, "w", encoding="utf-8") as f:
            json.dump({"vaults": os.path.join(root, "vaults.json"), "keystore": keystore}, f)

        rows = row_table.all_rows()
        callables = {row.key: row_table.make_callable(row, vaults, keystore)
                     for row in rows if row.label != row_table.SCRYPT}
        load_before = os.getloadavg()
        sodium = baselines.SodiumScrypt(args.scrypt_program)
        samples = measure_times(rows, callables, sodium, args.rounds)
        sodium_rss = sodium.close()
        load_after = os.getloadavg()

        print("measuring peak memory in fresh processes", file=sys.stderr, flush=True)
        memory = {}
        for row in rows:
            if row.label == row_table.SCRYPT:
                memory[row.key] = {"before_kib": sodium_rss[0], "after_kib": sodium_rss[1]}
            else:
                memory[row.key] = probe_memory(row, context_path)

        medians = {key: statistics.median(values) for key, values in samples.items()}
        machine = {
            "cores": os.cpu_count(),
            "usable_cores": len(os.sched_getaffinity(0)),
            "load_before": load_before,
            "load_after": load_after,
            "rounds": args.rounds,
            "seconds": time.monotonic() - started,
        }
        os.makedirs(args.out, exist_ok=True)
        print(report.table(rows, medians, memory, samples, machine))
        chart = os.path.join(args.out, "bench.png")
        report.chart(rows, medians, memory, chart)
        report.save_json(rows, medians, memory, samples, machine,
                         os.path.join(args.out, "bench.json"))
        print(f"\nchart: {chart}")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
