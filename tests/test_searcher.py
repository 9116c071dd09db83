"""The Python searcher bridge: what expand receives, what its results become, its
failures, the threads it is called on and the release of the searcher object."""
import contextlib
import gc
import io
import json
import re
import threading
import types
import weakref

import pytest

from conftest import run_python
from morvane import MultiPathReasoning, ThoughtNode

M = MultiPathReasoning
UUID = re.compile(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")
LINE = "Error calling Python expand: "


def analysis_json(facts=("fièvre", "toux")):
    return json.dumps(
        {
            "facts": list(facts),
            "desires": [],
            "constraints": {},
            "unreliable_indicators": [],
            "metadata": {"timestamp": "2024-01-01T00:00:00+00:00", "detected_domain": "medical", "confidence": 0.5},
        }
    )


def run(searcher, beam_width=10, max_depth=1, domain="medical", facts=("fièvre", "toux")):
    """The procedural path and total_steps of a beam search over `searcher`."""
    result = json.loads(M.beam_search(beam_width, max_depth, searcher).generate(analysis_json(facts), domain))
    return result["procedural_path"], result["metadata"]["total_steps"]


class Recorder:
    """Records every call; answers with `answer(node, depth)`, a list of items."""

    def __init__(self, answer):
        self.answer = answer
        self.calls = []  # (node, args, kwargs, thread ident)

    def expand(self, *args, **kwargs):
        self.calls.append((args[0], args, kwargs, threading.get_ident()))
        return self.answer(args[0])


def item(content, score):
    return types.SimpleNamespace(content=content, score=score)


# ---- what expand receives ---------------------------------------------------------


def test_the_root_and_its_children_as_python_sees_them():
    searcher = Recorder(
        lambda node: [ThoughtNode("x", "a", 0.9, 7, "p"), ThoughtNode("y", "b", 0.8, 7)] if node.depth == 0 else []
    )
    path, total = run(searcher, beam_width=2, max_depth=5, domain="legal")
    (root, args, kwargs, _), *children = searcher.calls
    assert len(args) == 2 and kwargs == {}  # by position, node first
    assert type(root) is ThoughtNode and type(args[1]) is str and args[1] == "legal"
    assert root.content == "fièvre toux" and root.score == 0.5 and root.depth == 0
    assert UUID.fullmatch(root.id)
    # the items' ids and depths are ignored: new ids, depth one more than the root's
    # (the two children are expanded on workers, in either order)
    assert sorted((c.content, c.score, c.depth) for c, *_ in children) == [
        ("a", 0.8999999761581421, 1),
        ("b", 0.800000011920929, 1),
    ]
    ids = [c.id for c, *_ in children]
    assert all(UUID.fullmatch(i) for i in ids) and len({root.id, *ids}) == 3
    # the search stopped in the second iteration with the two children
    assert total == 2
    assert path["confidence"] == 0.9 and path["steps"][0]["justification"] == "a"


def test_the_searcher_may_keep_what_it_was_given():
    kept = []

    def answer(node):
        kept.append(node)
        return [item("child", 0.7)] if node.depth == 0 else []

    run(Recorder(answer), max_depth=3)
    assert [(n.content, n.depth) for n in kept] == [("fièvre toux", 0), ("child", 1)]


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(lambda expand: types.SimpleNamespace(expand=expand), id="instance attribute"),
        pytest.param(lambda expand: type("S", (), {"expand": staticmethod(expand)})(), id="static method"),
        pytest.param(lambda expand: type("S", (), {"__getattr__": lambda self, name: expand})(), id="__getattr__"),
    ],
)
def test_expand_is_looked_up_as_an_attribute(make):
    path, total = run(make(lambda node, domain: [item(f"{domain}:{node.depth}", 0.6)]))
    assert path["steps"][0]["justification"] == "medical:0" and total == 1


# ---- what its results become ------------------------------------------------------


class Extra:
    content = "extra"
    score = 0.25
    id = "ignored"
    depth = 99
    parent = "ignored"


class Number:
    def __float__(self):
        return 0.125


class Text(str):
    pass


@pytest.mark.parametrize(
    "items, justification, confidence, total",
    [
        ([], "fièvre toux", 0.5, 1),  # no children: the root stays
        ([item("a", 0.2), item("b", 0.9), item("c", 0.5)], "b", 0.9, 3),
        ([item("one", 1)], "one", 1.0, 1),  # an int score
        ([item("true", True)], "true", 1.0, 1),
        ([item("number", Number())], "number", 0.125, 1),  # anything float() takes
        ([item(Text("sub"), 0.3)], "sub", 0.3, 1),  # a str subclass
        ([Extra()], "extra", 0.25, 1),  # other attributes are not read
        ([item("big", 3.5)], "big", 3.5, 1),  # not clamped
        ([item("nan", float("nan"))], "nan", None, 1),  # written null
        ([item("inf", 1e40)], "inf", None, 1),  # narrowed to 32 bits: infinity
    ],
)
def test_items_become_children(items, justification, confidence, total):
    path, steps = run(Recorder(lambda node: list(items) if node.depth == 0 else []), max_depth=3)
    assert path["steps"][0]["justification"] == justification
    assert path["confidence"] == confidence
    assert steps == total


class Items(list):
    pass


def test_a_list_subclass_is_a_list():
    path, _ = run(Recorder(lambda node: Items([item("sub", 0.6)])))
    assert path["steps"][0]["justification"] == "sub"


class Reading:
    """An item whose `content` runs `during` when it is read."""

    def __init__(self, name, score, during=None):
        self.name, self.score, self.during = name, score, during

    @property
    def content(self):
        if self.during:
            self.during()
        return self.name


def mutating_searcher(mutate):
    def answer(node):
        if node.depth:
            return []
        items = []
        items.extend([Reading("a", 0.3, lambda: mutate(items)), Reading("b", 0.2), Reading("c", 0.9)])
        return items

    return Recorder(answer)


@pytest.mark.parametrize(
    "mutate, justification, total",
    [
        (lambda items: items.pop(), "a", 2),  # the last item is not visited
        (lambda items: items.append(Reading("d", 0.99)), "c", 3),  # nor the new one
        (lambda items: items.clear(), "a", 1),  # the item being read outlives its list slot
        (lambda items: items.insert(0, Reading("z", 0.99)), "a", 3),  # a shifted list is read by position
    ],
)
def test_a_list_that_changes_while_it_is_read(mutate, justification, total):
    path, steps = run(mutating_searcher(mutate))
    assert (path["steps"][0]["justification"], steps) == (justification, total)


class NoContent:
    score = 0.5


class NoScore:
    content = "x"


class FailingScore:
    content = "x"

    @property
    def score(self):
        raise RuntimeError("score unavailable")


class BadFloat:
    def __init__(self, message="no float here"):
        self.message = message

    def __float__(self):
        raise ValueError(self.message)


@pytest.mark.parametrize(
    "bad, error",
    [
        (NoContent(), "AttributeError: 'NoContent' object has no attribute 'content'"),
        (NoScore(), "AttributeError: 'NoScore' object has no attribute 'score'"),
        (item(5, 0.5), "TypeError: 'int' object cannot be converted to 'str'"),
        (item(None, 0.5), "TypeError: 'NoneType' object cannot be converted to 'str'"),
        (item("x", "0.5"), "TypeError: must be real number, not str"),
        (item("x", None), "TypeError: must be real number, not NoneType"),
        (item("x", BadFloat()), "ValueError: no float here"),
        # a lone surrogate cannot be UTF-8: it is replaced, the rest of the text kept
        (item("x", BadFloat("bad \udc80 float")), "ValueError: bad \ufffd\ufffd\ufffd float"),
        (FailingScore(), "RuntimeError: score unavailable"),
    ],
)
def test_a_bad_item_is_a_panic(panic_class, bad, error, capfd):
    reasoning = M.beam_search(10, 1, Recorder(lambda node: [item("good", 0.5), bad]))
    with pytest.raises(panic_class) as caught:
        reasoning.generate(analysis_json(), "medical")
    assert caught.value.args == ("a step expected to succeed failed: " + error,)
    out, err = capfd.readouterr()
    assert out == "" and error in err


class OddRepr:
    def __repr__(self):
        return "odd \udc80 repr"


@pytest.mark.parametrize(
    "result, shown",
    [
        ((item("x", 0.5),), "(namespace(content='x', score=0.5),)"),
        (None, "None"),
        ({}, "{}"),
        ("ab", "'ab'"),
        (OddRepr(), "odd \ufffd\ufffd\ufffd repr"),
    ],
)
def test_a_result_that_is_no_list_is_a_panic(panic_class, result, shown):
    reasoning = M.beam_search(10, 1, Recorder(lambda node: result))
    with pytest.raises(panic_class) as caught:
        reasoning.generate(analysis_json(), "medical")
    [text] = caught.value.args
    assert text == f"Expert expand must return a list: {shown} is not an instance of 'list'"
    # the object is as it was
    with pytest.raises(panic_class):
        reasoning.generate(analysis_json(), "medical")


# ---- failures of the call ---------------------------------------------------------


class BadStr(Exception):
    def __str__(self):
        raise RuntimeError("no text")


class Outer:
    class Inner(Exception):
        pass


def raising(exception):
    def answer(node):
        raise exception

    return Recorder(answer)


@pytest.mark.parametrize(
    "searcher, line",
    [
        (raising(ValueError("boom")), "ValueError: boom"),
        (raising(ValueError()), "ValueError: "),
        (raising(BadStr()), "BadStr: <exception str() failed>"),
        (raising(Outer.Inner("nested")), "Outer.Inner: nested"),
        (raising(KeyError("k")), "KeyError: 'k'"),
        # a BaseException too: the search goes on, the caller waits outside Python
        (raising(KeyboardInterrupt()), "KeyboardInterrupt: "),
        (types.SimpleNamespace(expand=5), "TypeError: 'int' object is not callable"),
        (object(), "AttributeError: 'object' object has no attribute 'expand'"),
        (types.SimpleNamespace(expand=lambda node: []), "TypeError: <lambda>() takes 1 positional argument but 2 were given"),
        (raising(ValueError("ligne\nsuivante é")), "ValueError: ligne\nsuivante é"),
        (raising(ValueError("bad \udc80 value")), "ValueError: bad \ufffd\ufffd\ufffd value"),
    ],
)
def test_a_failing_call_prints_one_line_and_gives_no_children(searcher, line, capfd):
    sink = io.StringIO()
    with contextlib.redirect_stdout(sink):  # the line does not go through sys.stdout
        path, total = run(searcher, max_depth=3)
    assert sink.getvalue() == ""
    out, _ = capfd.readouterr()
    assert out == LINE + line + "\n"
    assert path["steps"][0]["justification"] == "fièvre toux" and total == 1


def test_each_failing_node_prints_its_own_line(capfd):
    def answer(node):
        if node.depth == 0:
            return [item("a", 0.5), item("b", 0.6)]
        if node.content == "a":
            raise ValueError("only a")
        return [item("from b", 0.1)]

    path, total = run(Recorder(answer), max_depth=2)
    assert capfd.readouterr().out == LINE + "ValueError: only a\n"
    assert path["steps"][0]["justification"] == "from b" and total == 1


def panic_searcher(panic_class, where):
    def answer(node):
        if node.depth == where:
            raise panic_class(f"raised at depth {where}")
        return [item("a", 0.5), item("b", 0.6)]

    return Recorder(answer)


@pytest.mark.parametrize("where", [0, 1])  # on the calling thread, on the pool's workers
def test_a_panic_raised_by_the_searcher_ends_the_call(panic_class, where, capfd):
    searcher = panic_searcher(panic_class, where)
    reasoning = M.beam_search(2, 3, searcher)
    with pytest.raises(panic_class) as caught:
        reasoning.generate(analysis_json(), "medical")
    assert caught.value.args == (f"raised at depth {where}",)
    raising_threads = {ident for node, _, _, ident in searcher.calls if node.depth == where}
    assert (threading.get_ident() in raising_threads) == (where == 0)
    out, err = capfd.readouterr()
    assert out == ""
    assert "PanicException" in err and "Traceback" in err and f"raised at depth {where}" in err
    # later calls work as before
    assert json.loads(M.beam_search(2, 1, None).generate(analysis_json(), "medical"))


def test_a_panic_text_with_a_lone_surrogate_is_kept_readable(panic_class, capfd):
    with pytest.raises(panic_class) as caught:
        run(raising(panic_class("raised \udc80 here")))
    assert caught.value.args == ("raised \ufffd\ufffd\ufffd here",)
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("result", [None, [item(5, 0.5)]])
def test_an_internal_failure_on_a_worker_reaches_the_caller(panic_class, result):
    def answer(node):
        return [item("a", 0.5), item("b", 0.6)] if node.depth == 0 else result

    with pytest.raises(panic_class):
        M.beam_search(2, 3, Recorder(answer)).generate(analysis_json(), "medical")


REPORT = re.compile(r"morvane: thread '([^'\n]*)' broke an internal expectation at ([^:\n]+):\d+:\d+:\n(.*)\n")


@pytest.mark.parametrize("failure", ["not a list", "searcher panic"])
@pytest.mark.parametrize(
    "where, thread",
    [
        pytest.param(0, r"main", id="calling thread"),
        pytest.param(1, r"morvane-pool-\d+", id="worker"),
    ],
)
def test_the_report_names_the_thread_the_failure_happened_on(panic_class, failure, where, thread, capfd):
    def answer(node):
        if node.depth != where:
            return [item("a", 0.5), item("b", 0.6)]
        if failure == "searcher panic":
            raise panic_class("raised here")
        return (item("x", 0.5),)

    with pytest.raises(panic_class) as caught:
        M.beam_search(2, 3, Recorder(answer)).generate(analysis_json(), "medical")
    [(name, file, message)] = REPORT.findall(capfd.readouterr().err)
    assert re.fullmatch(thread, name)
    assert file == "src/strategies/python_searcher.cpp" and (message,) == caught.value.args


# ---- threads and the interpreter lock --------------------------------------------


def two_wide(node):
    return [item(f"{node.content}.{i}", 0.5 + i / 10) for i in range(2)] if node.depth < 3 else []


def test_which_thread_calls_the_searcher():
    searcher = Recorder(two_wide)
    run(searcher, beam_width=2, max_depth=3)
    me = threading.get_ident()
    by_depth = {}
    for node, _, _, ident in searcher.calls:
        by_depth.setdefault(node.depth, []).append(ident)
    # the root on the calling thread, which gave the lock up and takes it back for the call
    assert by_depth[0] == [me]
    # a beam of two on the pool's workers while the calling thread waits
    assert len(by_depth[1]) == len(by_depth[2]) == 2
    assert me not in by_depth[1] + by_depth[2]


def test_a_beam_of_one_stays_on_the_calling_thread():
    searcher = Recorder(two_wide)
    run(searcher, beam_width=1, max_depth=4)
    assert len(searcher.calls) == 4  # once per iteration
    assert {ident for *_, ident in searcher.calls} == {threading.get_ident()}


def test_a_searcher_may_reason_itself():
    inner = []

    def answer(node):
        if node.depth < 2:
            nested = json.loads(M.beam_search(2, 2, Recorder(two_wide)).generate(analysis_json(["x"]), "legal"))
            simple = json.loads(M.simple().generate(analysis_json(["x"]), "legal"))
            inner.append((nested["metadata"]["total_steps"], simple["metadata"]["total_steps"]))
            return two_wide(node)
        return []

    _, total = run(Recorder(answer), beam_width=2, max_depth=3)
    assert total == 2
    assert inner == [(2, 14)] * 3  # the root, then two nodes on the workers


def test_threads_share_one_beam_search():
    calls = []

    def answer(node):
        calls.append(None)
        # distinct scores, so that the final beam is fixed: the best is always the last child
        return [item(f"{node.content}>{i}", node.score * 3 + i) for i in range(3)] if node.depth < 3 else []

    reasoning = M.beam_search(3, 3, Recorder(answer))
    simple = M.simple()
    failures = []
    done = []

    def work(index):
        try:
            for _ in range(50):
                result = json.loads(reasoning.generate(analysis_json([f"t{index}"]), "technical"))
                path = result["procedural_path"]
                assert result["metadata"]["total_steps"] == 3
                assert path["confidence"] == 39.5
                assert path["steps"][0]["justification"] == f"t{index}>2>2>2"
                assert json.loads(simple.generate(analysis_json([f"t{index}"]), "technical"))["metadata"]
            done.append(index)
        except BaseException as error:  # noqa: B036 - a PanicException must be reported too
            failures.append(repr(error))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not any(thread.is_alive() for thread in threads)
    assert failures == []
    assert sorted(done) == list(range(8))
    assert len(calls) == 8 * 50 * (1 + 3 + 3)


def test_expansions_of_one_beam_overlap(monkeypatch):
    # Four workers whatever the machine: each expansion of the four-node beam waits for
    # the other three, which only returns if all four run at the same time.
    code = """
        import json, threading, types
        from morvane import MultiPathReasoning
        barrier = threading.Barrier(4, timeout=20)
        broken = []
        threads = set()

        def expand(node, domain):
            if node.depth == 0:
                return [types.SimpleNamespace(content=str(i), score=0.5) for i in range(4)]
            threads.add(threading.get_ident())
            try:
                barrier.wait()
            except threading.BrokenBarrierError:
                broken.append(node.content)
            return []

        facts = {"facts": ["x"], "desires": [], "constraints": {}, "unreliable_indicators": [],
                 "metadata": {"timestamp": "2024-01-01T00:00:00+00:00", "detected_domain": None,
                              "confidence": 0.5}}
        searcher = types.SimpleNamespace(expand=expand)
        result = MultiPathReasoning.beam_search(4, 2, searcher).generate(json.dumps(facts), "medical")
        print(json.dumps({"broken": broken, "threads": len(threads),
                          "total": json.loads(result)["metadata"]["total_steps"]}))
    """
    monkeypatch.setenv("RAYON_NUM_THREADS", "4")
    done = run_python(code, timeout=120)
    assert done.returncode == 0, done.stderr
    state = json.loads(done.stdout.splitlines()[-1])
    assert state == {"broken": [], "threads": 4, "total": 4}


# ---- the searcher's lifetime ------------------------------------------------------


class Releasable:
    def expand(self, node, context_domain):
        return two_wide(node)


@pytest.mark.parametrize("generate", [False, True])
def test_the_searcher_goes_with_its_multi_path_reasoning(generate):
    searcher = Releasable()
    ref = weakref.ref(searcher)
    reasoning = M.beam_search(2, 3, searcher)
    del searcher
    gc.collect()
    assert ref() is not None  # held by the strategy
    if generate:
        json.loads(reasoning.generate(analysis_json(), "medical"))  # expansions on the workers
    del reasoning
    assert ref() is None  # released at once, without a collection


class SelfHolding:
    """A searcher that keeps the object that runs it: a reference cycle."""

    def __init__(self):
        self.reasoning = M.beam_search(2, 3, self)

    def expand(self, node, context_domain):
        return two_wide(node)


@pytest.mark.parametrize("generate", [False, True])
def test_a_searcher_holding_its_multi_path_reasoning_is_collected(generate):
    searcher = SelfHolding()
    if generate:
        json.loads(searcher.reasoning.generate(analysis_json(), "medical"))
    ref = weakref.ref(searcher)
    del searcher
    gc.collect()
    assert ref() is None
