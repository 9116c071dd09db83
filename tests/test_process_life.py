"""The module across a Python process's life: forked children, interpreter exit while
daemon threads are inside calls, and long chains of objects freed.

Each case runs in a child interpreter with a time limit, so that a hang, an abort or a
crash shows as that child's failure."""

import json

import pytest

from conftest import UNDER_ASAN, run_python

PRELUDE = """
import os, sys, threading, time, warnings
import morvane
from morvane import ForensicDeconstruction, MultiPathReasoning, ThoughtNode
warnings.filterwarnings("ignore", category=DeprecationWarning)  # fork with threads
A = ForensicDeconstruction().analyze("Patient présente fièvre. Le serveur ne répond pas.")

class Wide:
    def expand(self, node, context_domain):
        return [ThoughtNode("", "c%d" % i, 0.1 * i, 0) for i in range(3)] if node.depth < 3 else []

class Narrow:
    def expand(self, node, context_domain):
        return [ThoughtNode("", "c", 0.5, 0)]

def beam(width=3):
    return MultiPathReasoning.beam_search(width, 4, Wide()).generate(A, "medical")

def simple():
    return MultiPathReasoning.simple().generate(A, "medical")
"""


def run_child(body, timeout=60):
    return run_python(PRELUDE + body, timeout=timeout)


def expect_clean(done, status=0):
    assert (done.returncode, done.stderr) == (status, ""), done.stdout


# --- fork ------------------------------------------------------------------------------


def test_multiprocessing_fork_children_run_both_strategies_after_the_parent_used_the_pool():
    done = run_child(
        """
import json, multiprocessing as mp

def work(kind):
    text = beam() if kind == "beam" else simple()
    return json.loads(text)["metadata"]["total_steps"]

if __name__ == "__main__":
    simple(); beam()  # the parent's pool is made and busy before the fork
    with mp.get_context("fork").Pool(2) as pool:
        steps = pool.map_async(work, ["beam", "simple"] * 4).get(timeout=30)
    print(steps)
"""
    )
    expect_clean(done)
    assert done.stdout.strip() == str([3, 14] * 4)


def test_a_fork_child_expands_wide_beams_on_workers_of_its_own_that_overlap():
    # Four expansions that each wait at a barrier for all four: they only get through
    # when they run at the same time, on four workers other than the caller. The parent
    # meets first, so every one of its workers has run and is idle at the fork (a
    # worker still starting could hold the sanitizer's allocator lock, which a child
    # inherits held).
    done = run_child(
        """
os.environ["RAYON_NUM_THREADS"] = "4"  # read by each process's pool on its first use
class Meeting:
    def __init__(self):
        self.threads = set()
        self.barrier = threading.Barrier(4, timeout=10)
    def expand(self, node, context_domain):
        if node.depth == 0:
            return [ThoughtNode("", "c%d" % i, 0.1 * i, 0) for i in range(4)]
        self.threads.add(threading.get_ident())
        self.barrier.wait()
        return []
def meet():
    meeting = Meeting()
    result = MultiPathReasoning.beam_search(4, 2, meeting).generate(A, "medical")
    met = "total_steps" in result and not meeting.barrier.broken
    apart = threading.get_ident() not in meeting.threads and len(meeting.threads) == 4
    return met and apart
if not meet():
    sys.exit(2)
pid = os.fork()
if pid == 0:
    os._exit(0 if meet() else 1)
_, status = os.waitpid(pid, 0)
sys.exit(os.waitstatus_to_exitcode(status))
"""
    )
    expect_clean(done)


@pytest.mark.skipif(
    UNDER_ASAN,
    reason="the sanitizer's own allocator is not fork-safe: a child may inherit its lock held by a parent thread",
)
def test_a_fork_while_other_threads_keep_the_pool_busy_leaves_the_child_a_working_pool():
    done = run_child(
        """
stop = False
def keep_busy(call):
    while not stop:
        call()
threads = [threading.Thread(target=keep_busy, args=(call,), daemon=True)
           for call in (simple, beam, lambda: MultiPathReasoning.beam_search(1, 3, Narrow()).generate(A, "medical"))]
for t in threads:
    t.start()
failures = []
for round in range(10):
    time.sleep(0.01)
    pid = os.fork()
    if pid == 0:
        ok = '"total_steps": 3' in beam() and '"total_steps": 14' in simple()
        os._exit(0 if ok else 1)
    give_up = time.monotonic() + 20
    while (waited := os.waitpid(pid, os.WNOHANG))[0] == 0 and time.monotonic() < give_up:
        time.sleep(0.01)
    if waited[0] == 0:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        failures.append((round, "hung"))
    elif os.waitstatus_to_exitcode(waited[1]) != 0:
        failures.append((round, os.waitstatus_to_exitcode(waited[1])))
stop = True
for t in threads:
    t.join()
print(failures, '"total_steps": 3' in beam())  # the parent goes on as before
"""
    )
    expect_clean(done)
    assert done.stdout.strip() == "[] True"


# --- exit with busy daemon threads ---------------------------------------------------------

CALLS = {
    "analyze": 'ForensicDeconstruction().analyze("Patient présente fièvre. " * 50)',
    "simple strategy": "simple()",
    "searcher on the calling thread": 'MultiPathReasoning.beam_search(1, 5, Narrow()).generate(A, "medical")',
    "searcher on workers": "beam()",
    "searcher asleep in Python": 'MultiPathReasoning.beam_search(3, 2, Sleepy()).generate(A, "medical")',
    "searcher busy in Python": 'MultiPathReasoning.beam_search(3, 2, Busy()).generate(A, "medical")',
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_exit_while_daemon_threads_are_inside_a_call_ends_with_the_status_asked_for(call):
    body = f"""
class Sleepy:
    def expand(self, node, context_domain):
        time.sleep(30)
        return []
class Busy:
    def expand(self, node, context_domain):
        total = 0
        for i in range(300_000):
            total += i
        return [ThoughtNode("", "c%d" % i, 0.1 * i, 0) for i in range(3)]
def loop():
    while True:
        {call}
for _ in range(3):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
sys.exit(3)
"""
    for _ in range(3):
        expect_clean(run_child(body, timeout=30), status=3)


def test_calls_made_while_the_interpreter_exits_complete_on_their_own_thread():
    # An atexit function runs before finalization, a __del__ during it (the object sits
    # in a module of its own, which finalization clears): both get their wide beam
    # searches, which would use the workers, while daemon threads loop over others.
    done = run_child(
        """
import atexit, types
def loop():
    while True:
        beam()
for _ in range(2):
    threading.Thread(target=loop, daemon=True).start()
class AtShutdown:
    def __del__(self, beam=beam, write=os.write, finalizing=sys.is_finalizing):
        write(1, b"del %d %d\\n" % (finalizing(), '"total_steps": 3' in beam()))
holder = sys.modules["holder"] = types.ModuleType("holder")
holder.keep = AtShutdown()
del holder
atexit.register(lambda: print("atexit", int('"total_steps": 3' in beam()), flush=True))
time.sleep(0.1)
"""
    )
    expect_clean(done)
    assert done.stdout == "atexit 1\ndel 1 1\n"


# --- no worker -------------------------------------------------------------------------

# Both strategies, and beam searches narrow and wide, as JSON without what changes from
# run to run; the searcher's scores are all distinct, so no tie depends on the pool.
NO_WORKER_RUNS = """
import json, resource

class Scored:
    def __init__(self):
        self.threads = set()
    def expand(self, node, context_domain):
        self.threads.add(threading.get_ident())
        path = node.content if node.depth else ""
        return [ThoughtNode("", path + str(i), float("0." + path + str(i)), 0) for i in range(3)] if node.depth < 3 else []

def stable(value):
    if isinstance(value, dict):
        return {k: stable(v) for k, v in value.items() if k not in ("id", "generated_at", "execution_time_ms")}
    return [stable(v) for v in value] if isinstance(value, list) else value

def no_room_for_threads():
    # The address space as it is now and less than one thread stack more.
    stack = resource.getrlimit(resource.RLIMIT_STACK)[0]
    stack = 2 << 20 if stack == resource.RLIM_INFINITY else stack
    with open("/proc/self/status") as status:
        size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (size + stack // 2, resource.RLIM_INFINITY))

if NO_ROOM:
    no_room_for_threads()
searchers = [Scored(), Scored()]
results = [
    stable(json.loads(simple())),
    stable(json.loads(MultiPathReasoning.beam_search(1, 3, searchers[0]).generate(A, "medical"))),
    stable(json.loads(MultiPathReasoning.beam_search(3, 3, searchers[1]).generate(A, "medical"))),
]
callers = set().union(*(s.threads for s in searchers))
workers = sum(open("/proc/self/task/%s/comm" % t).read().startswith("morvane-pool-") for t in os.listdir("/proc/self/task"))
print(json.dumps({"results": results, "only_the_caller": callers == {threading.get_ident()}, "workers": workers}))
"""


def test_without_workers_every_call_runs_on_the_caller_with_the_same_results():
    def runs(no_room):
        done = run_child(f"NO_ROOM = {no_room}\n" + NO_WORKER_RUNS)
        expect_clean(done)
        return json.loads(done.stdout)

    alone = runs(no_room=True)
    assert (alone["only_the_caller"], alone["workers"]) == (True, 0)
    with_workers = runs(no_room=False)
    assert with_workers["workers"] > 0 and not with_workers["only_the_caller"]
    assert alone["results"] == with_workers["results"]


# --- long chains ---------------------------------------------------------------------------


def test_a_long_chain_of_strategies_frees_without_exhausting_the_stack():
    done = run_child(
        """
import gc
m = None
for _ in range(200_000):
    m = MultiPathReasoning.beam_search(1, 1, m)
del m
gc.collect()
print("freed")
"""
    )
    expect_clean(done)
    assert done.stdout == "freed\n"
