"""Per-call figures of MultiPathReasoning.generate from Python.

  simple strategy on the worked example's analysis           target <= 15 us per call
  beam search, trivial Python searcher (3 children per node),
  beam_width 4, max_depth 10: time above the searcher's own
  Python time, per expand call                                target <= 2 us
  beam search, a searcher that sleeps 10 ms per expand without
  the lock and returns 8 children, beam_width 8, max_depth 3,
  RAYON_NUM_THREADS=8 (in a subprocess): wall time            target <= 1.3 x 30 ms

Run by scripts/bench.sh after the module is installed; exits 1 when a figure is above
its target.
"""
import json
import os
import subprocess
import sys
import time
import timeit

from morvane import ForensicDeconstruction, MultiPathReasoning, ThoughtNode

WORKED_EXAMPLE = "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données."
DOMAIN = "technical"

SIMPLE_TARGET_NS = 15_000
BRIDGE_TARGET_NS = 2_000
SLEEP_SECONDS = 0.010
SLEEP_IDEAL_S = 3 * SLEEP_SECONDS  # the root, then two iterations of 8 overlapped expansions
SLEEP_FACTOR = 1.3


def best_ns(call, number, repeat=7):
    """The best of `repeat` runs of `number` calls, in ns per call."""
    return min(timeit.Timer(call).repeat(repeat=repeat, number=number)) / number * 1e9


def verdict(value, target):
    return "ok" if value <= target else "ABOVE TARGET"


class Trivial:
    """Three children per node, the same three every time."""

    def __init__(self):
        self.children = [ThoughtNode("", "a", 0.25, 0), ThoughtNode("", "b", 0.5, 0), ThoughtNode("", "c", 0.75, 0)]
        self.calls = 0

    def expand(self, node, context_domain):
        self.calls += 1
        return list(self.children)


class Sleeper:
    """Waits without the lock, as a model call over the network would, then 8 children."""

    def expand(self, node, context_domain):
        time.sleep(SLEEP_SECONDS)
        return [ThoughtNode("", f"{node.content}.{i}", i / 8, 0) for i in range(8)]


def simple_figure(analysis):
    reasoning = MultiPathReasoning.simple()
    generate = reasoning.generate
    for _ in range(2_000):  # steady state: the pool awake, tables built
        generate(analysis, DOMAIN)
    return best_ns(lambda: generate(analysis, DOMAIN), 2_000)


def bridge_figure(analysis):
    searcher = Trivial()
    reasoning = MultiPathReasoning.beam_search(4, 10, searcher)
    reasoning.generate(analysis, DOMAIN)
    calls_per_generate = searcher.calls  # 1 for the root, then 4 per iteration
    number = 200
    total_ns = best_ns(lambda: reasoning.generate(analysis, DOMAIN), number)
    # The searcher's own Python time: the same calls made straight from Python.
    node = ThoughtNode("7d1a0a51-57a8-4c4e-9b8c-2a4d3e1f0b6c", "a", 0.5, 1)
    expand = searcher.expand
    python_ns = best_ns(lambda: expand(node, DOMAIN), 20_000) * calls_per_generate
    return calls_per_generate, total_ns, python_ns, (total_ns - python_ns) / calls_per_generate


class Single:
    """One child per node: with beam_width 1 the whole search stays on the calling thread."""

    def __init__(self):
        self.child = ThoughtNode("", "a", 0.5, 0)

    def expand(self, node, context_domain):
        return [self.child]


def calling_thread_figure(analysis):
    """The bridge alone, without the pool: beam_width 1, one child, 1 against 101 iterations."""
    short = MultiPathReasoning.beam_search(1, 1, Single())
    long = MultiPathReasoning.beam_search(1, 101, Single())
    short_ns = best_ns(lambda: short.generate(analysis, DOMAIN), 500)
    long_ns = best_ns(lambda: long.generate(analysis, DOMAIN), 100)
    node = ThoughtNode("7d1a0a51-57a8-4c4e-9b8c-2a4d3e1f0b6c", "a", 0.5, 1)
    expand = Single().expand
    python_ns = best_ns(lambda: expand(node, DOMAIN), 20_000)
    return (long_ns - short_ns) / 100 - python_ns


def sleep_run():
    """In the subprocess: the best wall time of a few runs, in seconds, on stdout."""
    analysis = ForensicDeconstruction().analyze(WORKED_EXAMPLE)
    reasoning = MultiPathReasoning.beam_search(8, 3, Sleeper())
    reasoning.generate(analysis, DOMAIN)  # starts the pool
    best = float("inf")
    for _ in range(10):
        start = time.perf_counter()
        result = reasoning.generate(analysis, DOMAIN)
        best = min(best, time.perf_counter() - start)
        assert json.loads(result)["metadata"]["total_steps"] == 8
    print(json.dumps({"wall_s": best}))


def sleep_figure():
    env = dict(os.environ, RAYON_NUM_THREADS="8")
    done = subprocess.run(
        [sys.executable, os.path.abspath(__file__), "--sleep-run"],
        capture_output=True,
        text=True,
        env=env,
        timeout=300,
        check=True,
    )
    return json.loads(done.stdout.splitlines()[-1])["wall_s"]


def main():
    analysis = ForensicDeconstruction().analyze(WORKED_EXAMPLE)
    print(f"morvane strategies benchmark (CPython {sys.version.split()[0]})")

    simple_ns = simple_figure(analysis)
    print(
        f"  generate, simple strategy, worked example          {simple_ns:9.0f} ns/call"
        f"  (target <= {SIMPLE_TARGET_NS} ns): {verdict(simple_ns, SIMPLE_TARGET_NS)}"
    )

    calls, total_ns, python_ns, bridge_ns = bridge_figure(analysis)
    print(
        f"  generate, beam search 4 x 10, trivial searcher      {total_ns:9.0f} ns/call"
        f"  ({calls} expand calls, {python_ns:.0f} ns of them in the searcher's Python)"
    )
    print(
        f"    above the searcher's own time, per expand call    {bridge_ns:9.0f} ns"
        f"  (target <= {BRIDGE_TARGET_NS} ns): {verdict(bridge_ns, BRIDGE_TARGET_NS)}"
    )

    alone_ns = calling_thread_figure(analysis)
    print(
        f"    the same on the calling thread alone (beam_width 1, one child, no pool) {alone_ns:6.0f} ns"
        " per expand call"
    )

    wall_s = sleep_figure()
    limit_s = SLEEP_FACTOR * SLEEP_IDEAL_S
    print(
        f"  generate, beam search 8 x 3, 10 ms sleeping searcher, 8 workers: {wall_s * 1e3:6.1f} ms wall"
        f"  (ideal {SLEEP_IDEAL_S * 1e3:.0f} ms, target <= {limit_s * 1e3:.0f} ms): {verdict(wall_s, limit_s)}"
    )

    within = simple_ns <= SIMPLE_TARGET_NS and bridge_ns <= BRIDGE_TARGET_NS and wall_s <= limit_s
    return 0 if within else 1


if __name__ == "__main__":
    if sys.argv[1:] == ["--sleep-run"]:
        sleep_run()
    else:
        sys.exit(main())
