"""Per-call figures of the module's calls from Python, and a resident-memory check.

Run by scripts/bench.sh after the module is installed into the project's venv.
"""
import os
import sys
import timeit

import morvane

WORKED_EXAMPLE = "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données."
DOCSTRING_EXAMPLE = "Patient présente fièvre, toux, fatigue depuis 3 jours"
# 200 bytes of UTF-8.
MEDICAL_REASONING = (
    "Patient de 54 ans, anamnèse: fièvre et toux depuis 3 jours. Premier diagnostic: grippe; "
    "diagnostic différentiel: pneumonie, COVID. Pas d'urgence vitale. Examen physique et "
    "radiographie à prévoir."
)
CALLS_FOR_MEMORY = 1_000_000
MEMORY_LIMIT = 2 << 20  # bytes of growth allowed after warm-up


def per_call_ns(statement, number, repeat=7):
    """The best of `repeat` runs of `number` calls, in ns per call."""
    timer = timeit.Timer(statement)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def empty_input_error(forensic):
    def call():
        try:
            forensic.analyze("   ")
        except ValueError:
            pass

    return call


def domain_cases():
    adapter = morvane.domain.DomainAdapter("medical")
    verdict = morvane.domain.Verdict(
        "Grippe saisonnière", "Fièvre, toux, fatigue", 0.85, ["Repos", "Hydratation", "Contrôle à 48 h"]
    )
    DomainAdapter, validate, format_output = morvane.domain.DomainAdapter, adapter.validate, adapter.format_output
    terminology = adapter.terminology
    return [
        ("DomainAdapter(\"medical\") (target <= 8000 ns)", lambda: DomainAdapter("medical")),
        ("validate, 200-byte text (target <= 1500 ns)", lambda: validate(MEDICAL_REASONING)),
        ("format_output (target <= 2000 ns)", lambda: format_output(verdict)),
        ("terminology() (target <= 6000 ns)", terminology),
    ]


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def main():
    forensic = morvane.ForensicDeconstruction()
    analyze = forensic.analyze
    cases = [
        ("analyze, worked example (target <= 2500 ns)", lambda: analyze(WORKED_EXAMPLE)),
        ("analyze, docstring example", lambda: analyze(DOCSTRING_EXAMPLE)),
        ("analyze, \"Empty input provided\" error", empty_input_error(forensic)),
        *domain_cases(),
    ]
    print(f"morvane Python benchmark (CPython {sys.version.split()[0]})")
    for label, call in cases:
        call()
        print(f"  {label:<46} {per_call_ns(call, 50_000):9.0f} ns/call")

    for _ in range(50_000):  # warm-up: tables, allocator pools, the str's UTF-8 form
        analyze(WORKED_EXAMPLE)
    before = resident_bytes()
    for _ in range(CALLS_FOR_MEMORY):
        analyze(WORKED_EXAMPLE)
    growth = resident_bytes() - before
    verdict = "ok" if growth <= MEMORY_LIMIT else "FAILED"
    print(
        f"  resident memory over {CALLS_FOR_MEMORY:,} analyze calls: {growth / 1024:+.0f} KiB "
        f"(limit {MEMORY_LIMIT // 1024} KiB): {verdict}"
    )
    return 0 if growth <= MEMORY_LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
