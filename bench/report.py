"""The benchmark's outputs: the table, the chart and the raw figures."""

import json
import statistics
from dataclasses import dataclass

import rows as row_table
import workload

SIZE_COLOURS = {None: "#7f7f7f", 10: "#4c72b0", 1_000: "#dd8452", 10_000: "#c44e52"}
GROWTH_LABELS = row_table.OPENING + row_table.LOOKUPS


@dataclass
class Figures:
    medians: dict  # row key -> median seconds
    ratios: dict  # row key -> median of (call / baseline call made just before)
    samples: dict  # row key -> every sample, seconds
    memory: dict  # row key -> {"before_kib", "after_kib"}


def ordered(rows: list) -> list:
    """Reference points first, then each operation with its vault sizes together."""
    position = {}
    for index, row in enumerate(rows):
        position.setdefault(row.label, index)
    return sorted(
        rows,
        key=lambda r: (r.is_oxa and r.size is not None, r.is_oxa, position[r.label], r.size or 0),
    )


def ratio(row, figures: Figures) -> float | None:
    return figures.ratios.get(row.key)


def growth(row, medians: dict) -> float | None:
    """Time at this vault size over the time at the smallest vault."""
    if row.size is None or row.size == workload.VAULT_SIZES[0]:
        return None
    return medians[row.key] / medians[(row.label, workload.VAULT_SIZES[0])]


def memory_mib(figures: Figures, row) -> tuple[float, float]:
    """(peak RSS, growth of the peak during the call), in MiB."""
    entry = figures.memory[row.key]
    return entry["after_kib"] / 1024, (entry["after_kib"] - entry["before_kib"]) / 1024


def spread_percent(values: list) -> float:
    """Inter-quartile range as a share of the median."""
    if len(values) < 4:
        return 0.0
    quartiles = statistics.quantiles(values, n=4)
    return 100 * (quartiles[2] - quartiles[0]) / statistics.median(values)


def baseline_name(row) -> str:
    if row.baseline is None:
        return "-"
    label, size = row.baseline
    short = {
        row_table.SCRYPT: "scrypt",
        row_table.PBKDF2: "PBKDF2",
        row_table.LISTING: "py listing",
        row_table.FLOOR: "syscalls",
        row_table.OXA_SCRYPT: "oxa scrypt",
        row_table.ETH_ENCRYPT: "eth encrypt",
        row_table.ETH_DECRYPT: "eth decrypt",
        row_table.BIP_UTILS_RANGE: "bip-utils x100",
    }[label]
    return short if size is None else f"{short}@{size}"


def verdict(value: float | None, limit: float | None) -> str:
    if value is None or limit is None:
        return ""
    return "yes" if value <= limit else "NO"


def table(rows: list, figures: Figures, machine: dict) -> str:
    head = (
        f"{'operation':<46}{'wallets':>8}{'median ms':>11}{'iqr%':>6}{'ratio':>8}"
        f"  {'to':<15}{'target':>7}{'met':>5}{'str.':>5}{'growth':>8}"
        f"{'peak MiB':>10}{'+MiB':>7}{'mem':>5}"
    )
    lines = [
        (
            f"oxa benchmark: {machine['cores']} cores ({machine['usable_cores']} usable), "
            f"load average {machine['load_before'][0]:.1f} before, "
            f"{machine['load_after'][0]:.1f} after; medians of {machine['rounds']} rounds; "
            f"{machine['seconds']:.0f} s"
        ),
        (
            "ratio: median over the calls of (call / a call of the baseline named in 'to' made "
            "just before it);"
        ),
        (
            f"str.: the stretch target ({row_table.SECRET_STRETCH} x scrypt) met;  growth: median "
            "time at this vault size / median time at 10 wallets;"
        ),
        (
            f"peak MiB: ru_maxrss of a fresh process after one call;  +MiB: growth of that peak "
            f"during the call (target <= {row_table.MEMORY_TARGET_MIB})"
        ),
        "",
        head,
        "-" * len(head),
    ]
    previous_label = None
    for row in ordered(rows):
        if previous_label is not None and row.label != previous_label and row.size is not None:
            lines.append("")
        previous_label = row.label
        r = ratio(row, figures)
        g = growth(row, figures.medians)
        peak, added = memory_mib(figures, row)
        memory_verdict = verdict(added, row_table.MEMORY_TARGET_MIB) if row.is_oxa else ""
        lines.append(
            f"{row.label:<46}{row.size if row.size else '':>8}"
            f"{figures.medians[row.key] * 1e3:>11.2f}"
            f"{spread_percent(figures.samples[row.key]):>6.0f}{(f'{r:.3f}' if r else '1'):>8}"
            f"  {baseline_name(row):<15}{(f'{row.target:.2f}' if row.target else ''):>7}"
            f"{verdict(r, row.target):>5}{verdict(r, row.stretch):>5}"
            f"{(f'{g:.2f}x' if g else ''):>8}{peak:>10.1f}{added:>7.1f}{memory_verdict:>5}"
        )
    lines += ["", *signing_in_the_largest_vault(figures)]
    return "\n".join(lines)


def signing_in_the_largest_vault(figures: Figures) -> list[str]:
    """Each signing operation in the largest vault against its parts: the
    opening target's share of one libsodium scrypt plus the scan of a lookup."""
    size = workload.VAULT_SIZES[-1]
    if ("get_wallet by id", size) not in figures.medians:
        return []  # a run of some rows only
    scrypt = figures.medians[(row_table.SCRYPT, None)]
    scan = figures.medians[("get_wallet by id", size)]
    budget = row_table.OPENING_TARGET * scrypt + scan
    heading = (
        f"signing at {size:,} wallets / ({row_table.OPENING_TARGET} x scrypt + the scan of "
        f"get_wallet by id = {budget * 1e3:.1f} ms), target {row_table.SIGN_TARGET}:"
    )
    lines = [heading]
    for label in row_table.OPENING:
        if not label.startswith("sign_"):
            continue
        value = figures.medians[(label, size)] / budget
        lines.append(f"  {label:<44}{value:>8.3f}{verdict(value, row_table.SIGN_TARGET):>6}")
    return lines


def chart(rows: list, figures: Figures, path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    shown = [row for row in ordered(rows) if row.baseline is not None]
    names = [f"{row.label}" + (f" @{row.size}" if row.size else "") for row in shown]
    colours = [SIZE_COLOURS[row.size] for row in shown]
    positions = list(range(len(shown)))[::-1]

    figure = plt.figure(figsize=(20, 15), constrained_layout=True)
    grid = figure.add_gridspec(2, 2, height_ratios=[3, 1.2])
    ratios_axes = figure.add_subplot(grid[0, 0])
    memory_axes = figure.add_subplot(grid[0, 1], sharey=ratios_axes)
    growth_axes = figure.add_subplot(grid[1, :])

    ratios_axes.barh(positions, [ratio(row, figures) for row in shown], color=colours)
    for y, row in zip(positions, shown, strict=True):
        if row.target:
            ratios_axes.plot([row.target, row.target], [y - 0.45, y + 0.45], color="black", lw=2)
        if row.stretch:
            ratios_axes.plot([row.stretch] * 2, [y - 0.45, y + 0.45], color="green", lw=1.5)
    ratios_axes.set_yticks(positions, names, fontsize=8)
    ratios_axes.set_xscale("log")
    ratios_axes.set_xlabel(
        "median of (call / baseline call just before it); black: target, green: stretch target"
    )
    ratios_axes.set_title("time as a ratio to its baseline")
    ratios_axes.grid(axis="x", which="both", alpha=0.3)

    added = [memory_mib(figures, row)[1] for row in shown]
    peaks = [memory_mib(figures, row)[0] for row in shown]
    memory_axes.barh(positions, peaks, color="#dddddd", label="peak RSS of the process")
    memory_axes.barh(
        positions, added, color=colours, height=0.5, label="growth of the peak during the call"
    )
    memory_axes.axvline(
        row_table.MEMORY_TARGET_MIB,
        color="black",
        ls="--",
        label=f"target {row_table.MEMORY_TARGET_MIB} MiB",
    )
    memory_axes.set_xlabel("MiB (fresh process, one call)")
    memory_axes.set_title("peak memory")
    memory_axes.legend(loc="lower right", fontsize=8)
    memory_axes.tick_params(axis="y", labelleft=False)

    width = 0.27
    measured = all(
        (label, size) in figures.medians for label in GROWTH_LABELS for size in workload.VAULT_SIZES
    )
    for offset, size in enumerate(workload.VAULT_SIZES if measured else ()):
        growth_axes.bar(
            [i + (offset - 1) * width for i in range(len(GROWTH_LABELS))],
            [figures.medians[(label, size)] * 1e3 for label in GROWTH_LABELS],
            width,
            color=SIZE_COLOURS[size],
        )
    growth_axes.set_xticks(range(len(GROWTH_LABELS)), GROWTH_LABELS, fontsize=8)
    growth_axes.set_yscale("log")
    growth_axes.set_ylabel("median ms")
    growth_axes.set_title("growth with the vault: 10, 1,000 and 10,000 wallets")
    growth_axes.grid(axis="y", which="both", alpha=0.3)

    figure.legend(
        handles=[Patch(color=SIZE_COLOURS[s], label=f"{s} wallets") for s in workload.VAULT_SIZES]
        + [Patch(color=SIZE_COLOURS[None], label="no vault")],
        loc="upper center",
        ncol=4,
        bbox_to_anchor=(0.5, 1.02),
    )
    figure.savefig(path, dpi=90, bbox_inches="tight")
    plt.close(figure)


def save_json(rows: list, figures: Figures, machine: dict, path: str) -> None:
    records = []
    for row in ordered(rows):
        peak, added = memory_mib(figures, row)
        records.append(
            {
                "operation": row.label,
                "wallets": row.size,
                "median_s": figures.medians[row.key],
                "samples_s": figures.samples[row.key],
                "baseline": row.baseline and list(row.baseline),
                "ratio": ratio(row, figures),
                "target": row.target,
                "growth": growth(row, figures.medians),
                "peak_mib": peak,
                "added_mib": added,
            }
        )
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"machine": machine, "rows": records}, f, indent=1)
