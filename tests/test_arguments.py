"""Argument binding and conversion, as every callable of the module does them."""
import json
import math

import pytest

import morvane

F = morvane.ForensicDeconstruction
NEW = "ForensicDeconstruction.__new__()"
WITH = "ForensicDeconstruction.with_config()"
ANALYZE = "ForensicDeconstruction.analyze()"


def analyze(*args, **kwargs):
    return F().analyze(*args, **kwargs)


BINDING_CASES = [
    # surplus positionals: all parameters required
    (lambda: F(1), f"{NEW} takes 0 positional arguments but 1 was given"),
    (lambda: F(1, 2), f"{NEW} takes 0 positional arguments but 2 were given"),
    (lambda: F.with_config(True, 0.5, True, 1), f"{WITH} takes 3 positional arguments but 4 were given"),
    (lambda: analyze("x", "y"), f"{ANALYZE} takes 1 positional arguments but 2 were given"),
    # surplus positionals are checked before keywords
    (lambda: analyze("x", "y", text="z"), f"{ANALYZE} takes 1 positional arguments but 2 were given"),
    # keywords, one at a time in the order given
    (lambda: F(x=1), f"{NEW} got an unexpected keyword argument 'x'"),
    (lambda: analyze(text="x"), f"{ANALYZE} got an unexpected keyword argument 'text'"),
    (lambda: analyze(input="x", text="y"), f"{ANALYZE} got an unexpected keyword argument 'text'"),
    (lambda: analyze("x", input="y"), f"{ANALYZE} got multiple values for argument 'input'"),
    (
        lambda: F.with_config(True, 0.5, True, extract_constraints=False, foo=1),
        f"{WITH} got multiple values for argument 'extract_constraints'",
    ),
    (
        lambda: F.with_config(True, 0.5, True, foo=1, extract_constraints=False),
        f"{WITH} got an unexpected keyword argument 'foo'",
    ),
    # keywords are checked before missing arguments
    (lambda: F.with_config(foo=1), f"{WITH} got an unexpected keyword argument 'foo'"),
    # missing arguments, named in parameter order
    (lambda: analyze(), f"{ANALYZE} missing 1 required positional argument: 'input'"),
    (
        lambda: F.with_config(),
        f"{WITH} missing 3 required positional arguments: "
        "'detect_unreliable_narrator', 'min_confidence', and 'extract_constraints'",
    ),
    (
        lambda: F.with_config(True),
        f"{WITH} missing 2 required positional arguments: 'min_confidence' and 'extract_constraints'",
    ),
    (
        lambda: F.with_config(min_confidence=0.5),
        f"{WITH} missing 2 required positional arguments: 'detect_unreliable_narrator' and 'extract_constraints'",
    ),
    (lambda: F.with_config(True, 0.5), f"{WITH} missing 1 required positional argument: 'extract_constraints'"),
    # conversion, in parameter order: the first failing parameter is reported
    (lambda: analyze(5), "argument 'input': 'int' object cannot be converted to 'str'"),
    (lambda: analyze(b"x"), "argument 'input': 'bytes' object cannot be converted to 'str'"),
    (lambda: analyze(None), "argument 'input': 'NoneType' object cannot be converted to 'str'"),
    (
        lambda: F.with_config(1, "x", 0),
        "argument 'detect_unreliable_narrator': 'int' object cannot be converted to 'bool'",
    ),
    (lambda: F.with_config(True, "x", 0), "argument 'min_confidence': must be real number, not str"),
    (lambda: F.with_config(True, 0.5, 0), "argument 'extract_constraints': 'int' object cannot be converted to 'bool'"),
]


@pytest.mark.parametrize("call, message", BINDING_CASES)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert type(caught.value) is TypeError
    assert str(caught.value) == message
    assert caught.value.args == (message,)


@pytest.mark.parametrize("value", [1, 0, None, 1.0, "True", [True]])
@pytest.mark.parametrize("position, name", [(0, "detect_unreliable_narrator"), (2, "extract_constraints")])
def test_flags_take_only_true_and_false(value, position, name):
    args = [True, 0.5, True]
    args[position] = value
    with pytest.raises(TypeError) as caught:
        F.with_config(*args)
    assert str(caught.value) == (
        f"argument '{name}': '{type(value).__qualname__}' object cannot be converted to 'bool'"
    )


def test_keywords_in_any_order():
    made = F.with_config(extract_constraints=False, min_confidence=0.0, detect_unreliable_narrator=False)
    assert type(made) is F


def minimum_seen(value):
    """The stored min_confidence, as the confidence failure prints it."""
    with pytest.raises(ValueError) as caught:
        F.with_config(True, value, True).analyze("Bonjour.")
    return str(caught.value).rsplit(" ", 1)[1]


class Real:
    def __float__(self):
        return 0.75


class Index:
    def __index__(self):
        return 3


@pytest.mark.parametrize(
    "value, shown",
    [
        (1, "1.00"),  # ints are accepted as floats
        (True, "1.00"),
        (3.0, "3.00"),
        (0.505, "0.50"),  # narrowed to 32 bits (0.50499999523); as a double it would print 0.51
        (1e40, "inf"),  # beyond the 32-bit range: no range check, infinity
        (math.inf, "inf"),
        (Real(), "0.75"),
        (Index(), "3.00"),
    ],
)
def test_float_conversion(value, shown):
    assert minimum_seen(value) == shown


def test_nan_and_negative_minimums_are_stored():
    assert F.with_config(True, math.nan, True).analyze("Bonjour.")
    assert F.with_config(True, -1e40, True).analyze("Bonjour.")


def test_float_conversion_errors_other_than_type_errors_pass_unchanged():
    with pytest.raises(OverflowError) as caught:
        F.with_config(True, 10**400, True)
    assert not str(caught.value).startswith("argument")


class RaisesWithCause:
    def __float__(self):
        raise TypeError("inner") from KeyError("root")


class TypeErrorSubclass(TypeError):
    pass


class RaisesSubclass:
    def __float__(self):
        raise TypeErrorSubclass("own")


def test_prefixed_type_error_keeps_the_cause():
    with pytest.raises(TypeError) as caught:
        F.with_config(True, RaisesWithCause(), True)
    assert type(caught.value) is TypeError
    assert str(caught.value) == "argument 'min_confidence': inner"
    assert type(caught.value.__cause__) is KeyError
    assert caught.value.__cause__.args == ("root",)


def test_only_exact_type_errors_get_the_prefix():
    with pytest.raises(TypeErrorSubclass) as caught:
        F.with_config(True, RaisesSubclass(), True)
    assert str(caught.value) == "own"


class Outer:
    class Inner:
        pass


def test_conversion_errors_name_the_qualified_type():
    with pytest.raises(TypeError) as caught:
        analyze(Outer.Inner())
    assert str(caught.value) == "argument 'input': 'Outer.Inner' object cannot be converted to 'str'"


class Text(str):
    pass


def test_text_conversion():
    # a str subclass is a text
    text = "Patient présente fièvre, toux, fatigue depuis 3 jours"
    assert json.loads(analyze(Text(text)))["facts"] == [text]
    # a lone surrogate cannot be UTF-8: the interpreter's own error, no prefix
    with pytest.raises(UnicodeEncodeError) as caught:
        analyze("fièvre \udc80")
    assert "surrogates not allowed" in str(caught.value)
