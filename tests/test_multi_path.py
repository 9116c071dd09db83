"""MultiPathReasoning: its two strategies, generate's steps and errors, and counts."""
import json
import math
import re

import pytest

import morvane
from morvane import ForensicDeconstruction, MultiPathReasoning, ThoughtNode

M = MultiPathReasoning
WORKED = "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données."
WORKED_FACTS = [
    "ABSENCE/NÉGATION: Le serveur ne répond pas",
    "Erreur 500",
    "CONTEXTE: Je pense que c'est la base de données",
]
BEAM = "MultiPathReasoning.beam_search()"
GENERATE = "MultiPathReasoning.generate()"


def analysis_json(facts):
    return json.dumps(
        {
            "facts": facts,
            "desires": [],
            "constraints": {},
            "unreliable_indicators": [],
            "metadata": {"timestamp": "2024-01-01T00:00:00+00:00", "detected_domain": None, "confidence": 0.5},
        }
    )


@pytest.fixture(scope="module")
def worked():
    return ForensicDeconstruction().analyze(WORKED)


class Children:
    """A searcher: `count` children per node, scored 0.1, 0.2, ..., while depth < `deepest`."""

    def __init__(self, count=3, deepest=2):
        self.count, self.deepest, self.calls = count, deepest, 0

    def expand(self, node, context_domain):
        self.calls += 1
        if node.depth >= self.deepest:
            return []
        return [ThoughtNode("", f"{node.content}/{i}", (i + 1) / 10, 0) for i in range(self.count)]


def test_method_docstrings_and_signatures():
    assert M.simple.__doc__ == "Crée une stratégie simple (3 chemins fixes)"
    assert M.simple.__text_signature__ == "()"
    assert M.beam_search.__doc__ == (
        'Crée une stratégie Beam Search avec un "Searcher" Python personnalisé\n'
        "searcher: Objet Python avec une méthode `expand(node, context_domain) -> List[ThoughtNode]`"
    )
    assert M.beam_search.__text_signature__ == "(beam_width, max_depth, searcher)"
    assert M.generate.__doc__ == (
        "Exécute le raisonnement\n"
        "Note: Nécessite un ForensicAnalysis wrapper (que nous devrons passer depuis Python)"
    )
    assert M.generate.__text_signature__ == "($self, analysis_json, context_domain)"
    assert [name for name in vars(M) if not name.startswith("_")] == ["simple", "beam_search", "generate"]


def test_simple_and_beam_search_are_static_and_give_new_objects():
    a, b = M.simple(), M.simple()
    assert type(a) is M and a is not b
    assert type(M.beam_search(1, 1, None)) is M
    assert type(a.simple()) is M  # reachable from an instance too
    with pytest.raises(TypeError):
        M.simple(1)


@pytest.mark.parametrize("domain", ["medical", "legal", "technical"])
def test_simple_strategy_on_the_worked_example(worked, domain):
    result = json.loads(M.simple().generate(worked, domain))
    assert list(result) == ["literal_path", "intentional_path", "procedural_path", "metadata"]
    assert [result[key]["path_type"] for key in list(result)[:3]] == ["Literal", "Intentional", "Procedural"]
    assert all(result[key]["confidence"] == 1.0 for key in list(result)[:3])
    assert result["metadata"]["most_confident_path"] == "Literal"
    assert result["metadata"]["total_steps"] == 14


def test_result_json_layout(worked):
    text = M.simple().generate(worked, "medical")
    assert type(text) is str
    assert text.startswith('{\n  "literal_path": {\n    "path_type": "Literal",')
    assert not text.endswith("\n")


def root_result(text, facts):
    """Checks a beam-search result made from the root alone."""
    result = json.loads(text)
    paths = [result["literal_path"], result["intentional_path"], result["procedural_path"]]
    assert paths[0] == paths[1] == paths[2]  # step id included
    path = paths[0]
    assert path["path_type"] == "Procedural"
    assert path["conclusion"] == "Conclusion derived from Beam Search"
    assert path["confidence"] == 0.5
    [step] = path["steps"]
    assert step["step_number"] == 1 and step["description"] == "Beam Search Result"
    assert step["justification"] == " ".join(facts)
    assert step["applied_rules"] == []
    assert result["metadata"]["total_steps"] == 1
    assert result["metadata"]["execution_time_ms"] == 0
    assert result["metadata"]["most_confident_path"] == "Procedural"


def test_beam_search_with_an_object_without_expand(worked, capfd):
    text = M.beam_search(2, 3, object()).generate(worked, "technical")
    out, _ = capfd.readouterr()
    assert out == "Error calling Python expand: AttributeError: 'object' object has no attribute 'expand'\n"
    root_result(text, WORKED_FACTS)


@pytest.mark.parametrize("searcher", [None, 5, "expand"])
def test_beam_search_accepts_any_searcher(searcher, capfd):
    made = M.beam_search(beam_width=2, searcher=searcher, max_depth=3)
    root_result(made.generate(analysis_json(["a", "b"]), "legal"), ["a", "b"])
    assert capfd.readouterr().out.startswith("Error calling Python expand: AttributeError: ")


def test_max_depth_zero_never_calls_the_searcher():
    searcher = Children()
    root_result(M.beam_search(5, 0, searcher).generate(analysis_json(["x"]), "medical"), ["x"])
    assert searcher.calls == 0


def test_beam_width_zero():
    with pytest.raises(RuntimeError) as caught:
        M.beam_search(0, 1, Children(count=1)).generate(analysis_json(["x"]), "medical")
    assert type(caught.value) is RuntimeError
    assert caught.value.args == ("Path generation failed: Beam search returned no results",)
    # a root without children is still the result
    root_result(M.beam_search(0, 1, Children(count=0)).generate(analysis_json(["x"]), "medical"), ["x"])


@pytest.mark.parametrize(
    "make, facts",
    [
        (M.simple, []),
        (lambda: M.beam_search(2, 2, Children()), []),
        (lambda: M.beam_search(2, 2, Children()), [""]),  # the joined facts are what counts
    ],
)
def test_no_facts_under_both_strategies(make, facts):
    with pytest.raises(RuntimeError) as caught:
        make().generate(analysis_json(facts), "legal")
    assert type(caught.value) is RuntimeError
    assert caught.value.args == ("No facts available for reasoning",)


def test_the_simple_strategy_takes_one_empty_fact():
    assert json.loads(M.simple().generate(analysis_json([""]), "legal"))["metadata"]["total_steps"] == 14


def test_no_facts_is_found_before_the_searcher_is_called():
    searcher = Children()
    with pytest.raises(RuntimeError):
        M.beam_search(2, 2, searcher).generate(analysis_json([]), "legal")
    assert searcher.calls == 0


def test_two_empty_facts_make_a_root_of_one_space():
    root_result(M.beam_search(2, 0, None).generate(analysis_json(["", ""]), "legal"), ["", ""])


@pytest.mark.parametrize(
    "text",
    ["{}", "", "not json", "[]", analysis_json(["a"])[:-1], analysis_json(["a"]) + " x", '{"facts": [1]}'],
)
def test_a_text_that_is_no_analysis_is_a_value_error(text):
    # Read before the domain is looked at: "Medical" would not lock.
    with pytest.raises(ValueError) as caught:
        M.simple().generate(text, "Medical")
    assert type(caught.value) is ValueError
    [message] = caught.value.args
    assert " at line " in message and " column " in message  # the reader's text, nothing around it
    assert not message.startswith(("Analysis", "Invalid", "JSON"))


@pytest.mark.parametrize(
    "text, message",
    [
        ("{}", "missing field `facts` at line 1 column 2"),
        # After the last element of an array form only its closing bracket may follow.
        ('[["f"], [], {}, [], ["t", null, 0.5] 1]', "trailing characters at line 1 column 38"),
        ('[["f"], [], {}, [], ["t", null, 0.5 1]]', "trailing characters at line 1 column 37"),
        # A comma that the text ends after is more than the array holds as well.
        ('[["f"],[],{},[],["t",null,0.5],', "trailing characters at line 1 column 31"),
        ('[["f"],[],{},[],["t",null,0.5,', "trailing characters at line 1 column 30"),
        ('{"facts":[],"metadata":["t",null,0.5,', "trailing characters at line 1 column 37"),
        ('[["f"],[],{},[],["t",null,0.5]', "unexpected end of text at line 1 column 30"),
        ('[["f"],[],{},[],["t",null,0.5],]', "trailing comma at line 1 column 32"),
    ],
)
def test_the_reader_error_text_is_passed_alone(text, message):
    with pytest.raises(ValueError) as caught:
        M.simple().generate(text, "Medical")
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "domain, ending",
    [
        ("Medical", 'InvalidDomain("Medical")'),
        (" medical", 'InvalidDomain(" medical")'),
        ("medical\n", 'InvalidDomain("medical\\n")'),
        ("MÉDICAL", 'InvalidDomain("MÉDICAL")'),
        ('a"b', 'InvalidDomain("a\\"b")'),
        ("", "DomainNotIdentified"),
        ("  ", "DomainNotIdentified"),
    ],
)
@pytest.mark.parametrize("facts", [WORKED_FACTS, []])
def test_a_domain_that_does_not_lock_is_a_panic(panic_class, domain, ending, facts, capfd):
    searcher = Children(count=0)
    for reasoning in [M.simple(), M.beam_search(2, 2, searcher)]:
        with pytest.raises(panic_class) as caught:
            reasoning.generate(analysis_json(facts), domain)
        [text] = caught.value.args
        assert text.endswith(": " + ending)
        assert ending in capfd.readouterr().err  # the report on standard error
        # the object is as it was
        assert json.loads(reasoning.generate(analysis_json(["a"]), "technical"))["metadata"]
    assert searcher.calls == 1  # only the successful run above expanded a root


def test_a_panic_report_names_the_source_relative_to_the_project(panic_class, capfd):
    with pytest.raises(panic_class):
        M.simple().generate(analysis_json(WORKED_FACTS), "Medical")
    err = capfd.readouterr().err
    assert re.search(r" at src/strategies/multi_path_reasoning\.cpp:\d+:\d+:\n", err), err


def test_panic_exception_is_a_base_exception(panic_class):
    assert issubclass(panic_class, BaseException) and not issubclass(panic_class, Exception)
    assert panic_class.__name__ == "PanicException"
    assert not hasattr(morvane, "PanicException")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: M.beam_search(1, 1), f"{BEAM} missing 1 required positional argument: 'searcher'"),
        (
            lambda: M.beam_search(),
            f"{BEAM} missing 3 required positional arguments: 'beam_width', 'max_depth', and 'searcher'",
        ),
        (lambda: M.beam_search(1, 1, None, 1), f"{BEAM} takes 3 positional arguments but 4 were given"),
        (lambda: M.beam_search(1, 1, None, width=1), f"{BEAM} got an unexpected keyword argument 'width'"),
        (lambda: M.beam_search(1, 1, None, beam_width=1), f"{BEAM} got multiple values for argument 'beam_width'"),
        (lambda: M.simple().generate("{}"), f"{GENERATE} missing 1 required positional argument: 'context_domain'"),
        (
            lambda: M.simple().generate(context_domain="x"),
            f"{GENERATE} missing 1 required positional argument: 'analysis_json'",
        ),
        (lambda: M.simple().generate("{}", "x", "y"), f"{GENERATE} takes 2 positional arguments but 3 were given"),
        (
            lambda: M.simple().generate(5, None),
            "argument 'analysis_json': 'int' object cannot be converted to 'str'",
        ),
        (
            lambda: M.simple().generate("{}", None),
            "argument 'context_domain': 'NoneType' object cannot be converted to 'str'",
        ),
        (
            lambda: M.simple().generate(context_domain=b"medical", analysis_json="{}"),
            "argument 'context_domain': 'bytes' object cannot be converted to 'str'",
        ),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert type(caught.value) is TypeError
    assert str(caught.value) == message


def test_generate_takes_keywords(worked):
    result = M.simple().generate(context_domain="technical", analysis_json=worked)
    assert json.loads(result)["metadata"]["total_steps"] == 14


# ---- unsigned 64-bit counts: beam_width, max_depth and ThoughtNode's depth ----------


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Real:
    def __float__(self):
        return 2.0


# value, the count it gives (None: refused, with the error type that follows)
COUNTS = [
    (0, 0, None),
    (1, 1, None),
    (True, 1, None),
    (False, 0, None),
    (Index(3), 3, None),
    (2**64 - 1, 2**64 - 1, None),
    (-1, None, OverflowError),
    (-(2**70), None, OverflowError),
    (2**64, None, OverflowError),
    (Index(-1), None, OverflowError),
    (1.0, None, TypeError),
    (math.nan, None, TypeError),
    ("3", None, TypeError),
    (None, None, TypeError),
    (Real(), None, TypeError),
]
COUNT_IDS = [repr(value) if not isinstance(value, (Index, Real)) else type(value).__name__ for value, _, _ in COUNTS]


def check_refused(call, name, value, error):
    with pytest.raises(error) as caught:
        call()
    assert type(caught.value) is error
    if error is TypeError:
        expected = f"argument '{name}': '{type(value).__qualname__}' object cannot be interpreted as an integer"
        assert str(caught.value) == expected
    else:
        assert not str(caught.value).startswith("argument ")  # passed on unchanged


@pytest.mark.parametrize("value, count, error", COUNTS, ids=COUNT_IDS)
def test_depth_count(value, count, error):
    if error:
        check_refused(lambda: ThoughtNode("i", "c", 0.5, value), "depth", value, error)
    else:
        assert ThoughtNode("i", "c", 0.5, value).depth == count


def final_beam_size(beam_width, max_depth):
    """The size of the final beam under Children(3, deepest=2), or None when it is empty."""
    try:
        text = M.beam_search(beam_width, max_depth, Children()).generate(analysis_json(["x"]), "medical")
    except RuntimeError:
        return None
    return json.loads(text)["metadata"]["total_steps"]


@pytest.mark.parametrize("value, count, error", COUNTS, ids=COUNT_IDS)
def test_beam_width_count(value, count, error):
    if error:
        check_refused(lambda: M.beam_search(value, 1, None), "beam_width", value, error)
    else:
        # The search ends by itself at depth 2, where at most 9 nodes exist.
        assert final_beam_size(value, 2**64 - 1) == (min(count, 9) if count else None)


@pytest.mark.parametrize("value, count, error", COUNTS, ids=COUNT_IDS)
def test_max_depth_count(value, count, error):
    if error:
        check_refused(lambda: M.beam_search(1, value, None), "max_depth", value, error)
    else:
        assert final_beam_size(2**64 - 1, value) == {0: 1, 1: 3}.get(count, 9)


def test_beam_width_is_checked_before_max_depth():
    with pytest.raises(TypeError) as caught:
        M.beam_search(1.5, -1, None)
    assert str(caught.value).startswith("argument 'beam_width': ")
