"""The module object, its attributes, its submodule and the shape of every class."""
import importlib
import json
import sys

import pytest

import morvane
from conftest import run_python

# Every name the module function adds, in the order it adds them.
MODULE_NAMES = [
    "ForensicDeconstruction",
    "domain",
    "ThoughtNode",
    "MultiPathReasoning",
    "__version__",
    "__author__",
    "__description__",
]
DOMAIN_NAMES = ["DomainAdapter", "DomainRule", "ValidationResult", "ValidationIssue", "Verdict"]

# class -> (where it lives, docstring, text signature, has a constructor)
CLASSES = {
    "ForensicDeconstruction": (morvane, "Python wrapper for ForensicDeconstruction", "()", True),
    "ThoughtNode": (morvane, "Wrapper Python pour ThoughtNode", "(id, content, score, depth, parent=None)", True),
    "MultiPathReasoning": (morvane, "Wrapper pour MultiPathReasoning", None, False),
    "DomainAdapter": (morvane.domain, "Python wrapper for DomainAdapter", "(domain)", True),
    "DomainRule": (morvane.domain, "Python wrapper for DomainRule", None, False),
    "ValidationResult": (morvane.domain, "Python wrapper for ValidationResult", None, False),
    "ValidationIssue": (morvane.domain, "Python wrapper for ValidationIssue", None, False),
    "Verdict": (
        morvane.domain,
        "Python wrapper for Verdict (simplified for bindings)",
        "(conclusion, justification, certainty, recommendations=None)",
        True,
    ),
}


def test_module_identity_and_texts():
    assert morvane.__name__ == "morvane"
    assert morvane.__doc__ == "Python module for Morvane"
    assert morvane.__version__ == "0.1.0"
    assert morvane.__author__ == "Tavrel"
    assert morvane.__description__ == "Morvane - Python Bindings"


def test_all_lists_the_added_names_in_order():
    assert morvane.__all__ == MODULE_NAMES
    assert morvane.domain.__all__ == DOMAIN_NAMES
    for where, names in [(morvane, MODULE_NAMES), (morvane.domain, DOMAIN_NAMES)]:
        assert [name for name in names if hasattr(where, name)] == names


def test_panic_exception_is_not_a_module_attribute():
    assert not hasattr(morvane, "PanicException")
    assert "PanicException" not in morvane.__all__


def test_reimport_gives_the_same_module_and_classes():
    classes = {name: getattr(morvane, name) for name in morvane.__all__}
    assert importlib.import_module("morvane") is morvane
    saved = sys.modules.pop("morvane")
    try:
        again = importlib.import_module("morvane")
        assert again is morvane
        assert {name: getattr(again, name) for name in again.__all__} == classes
    finally:
        sys.modules["morvane"] = saved


def test_domain_is_an_attribute_only():
    from morvane import domain

    assert domain is morvane.domain
    assert domain.__name__ == "domain"
    assert "domain" not in sys.modules
    assert "morvane.domain" not in sys.modules
    with pytest.raises(ImportError):
        importlib.import_module("morvane.domain")


# Runs inside the second interpreter: reports how the import ended into a file.
SUBINTERPRETER_SCRIPT = """
import sys
sys.path[:0] = {path!r}
try:
    import morvane
except ImportError as error:
    outcome = "ImportError: " + str(error)
else:
    outcome = "imported"
with open({report!r}, "w") as report:
    report.write(outcome)
"""


def test_import_in_a_second_interpreter_fails_and_the_first_goes_on(tmp_path):
    report = tmp_path / "outcome.txt"
    script = SUBINTERPRETER_SCRIPT.format(path=sys.path, report=str(report))
    result = run_python(
        f"""
        import json, sys
        try:
            import _xxsubinterpreters as interpreters
        except ImportError:
            print(json.dumps({{"skip": "the interpreter offers no sub-interpreters"}}))
            raise SystemExit
        import morvane
        first = morvane
        interp = interpreters.create(isolated=False)  # the legacy configuration, shared lock
        interpreters.run_string(interp, {script!r})
        interpreters.destroy(interp)
        del sys.modules["morvane"]
        import morvane
        print(json.dumps({{"same": morvane is first,
                          "works": bool(morvane.ForensicDeconstruction().analyze("Bonjour."))}}))
        """
    )
    assert result.returncode == 0, result.stderr
    state = json.loads(result.stdout)
    if "skip" in state:
        pytest.skip(state["skip"])
    outcome = report.read_text()
    assert outcome.startswith("ImportError: ")
    assert "does not support sub-interpreters" in outcome
    assert state == {"same": True, "works": True}


@pytest.mark.parametrize("name", list(CLASSES))
def test_class_shape(name):
    cls = getattr(CLASSES[name][0], name)
    _, doc, signature, _ = CLASSES[name]
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__doc__ == doc
    assert cls.__text_signature__ == signature
    assert cls.__mro__ == (cls, object)
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    # nor can the class itself change: a replaced __new__ could make objects whose
    # payload was never built
    for member in ["__new__", "__repr__", "anything"]:
        with pytest.raises(TypeError):
            setattr(cls, member, staticmethod(lambda cls, *args: object.__new__(cls)))


@pytest.mark.parametrize("name", [name for name, entry in CLASSES.items() if not entry[3]])
def test_classes_without_constructor(name):
    cls = getattr(CLASSES[name][0], name)
    for args, kwargs in [((), {}), ((1,), {}), ((), {"x": 1})]:
        with pytest.raises(TypeError) as caught:
            cls(*args, **kwargs)
        assert str(caught.value) == "No constructor defined"


def test_instances_take_no_new_attributes(forensic):
    with pytest.raises(AttributeError):
        forensic.anything = 1
    with pytest.raises(AttributeError):
        forensic.__dict__
    with pytest.raises(TypeError):
        import weakref

        weakref.ref(forensic)
