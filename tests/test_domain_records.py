"""The record classes of morvane.domain: Verdict, DomainRule, ValidationIssue, ValidationResult."""
import ctypes
import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import morvane

domain = morvane.domain
Verdict = domain.Verdict


def f32(value):
    return ctypes.c_float(value).value


def percent_text(certainty):
    """certainty x 100 as a 32-bit product, without decimals, ties to even."""
    product = f32(f32(certainty) * 100.0)  # exact in 64 bits, then rounded once to 32
    if math.isnan(product):
        return "NaN"
    return format(product, ".0f")  # "inf", "-inf", and "-0" for small negatives


@pytest.fixture
def medical_result():
    # Fails the anamnesis and emergency checks: a Warning, then an Error.
    return domain.DomainAdapter("medical").validate("urgence; diagnostic, diagnostic")


# ---- Verdict: construction and the conversions of its arguments ------------------------


class Items:
    """A sequence by __getitem__ and __len__, not a list."""

    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        return self.items[index]


class Text(str):
    pass


# Conversion of `recommendations` (list of text): value -> the list read back.
RECOMMENDATIONS_TAKEN = [
    (None, []),
    (["x", "y"], ["x", "y"]),
    (("x", "y"), ["x", "y"]),
    ([], []),
    (["", ""], ["", ""]),
    ([Text("sous-classe")], ["sous-classe"]),
    (Items("a", "b"), ["a", "b"]),
    (["é → ≥", "l'avis\n"], ["é → ≥", "l'avis\n"]),
]

# value -> the detail after "argument 'recommendations': "
RECOMMENDATIONS_REFUSED = [
    ("x", "a str cannot be converted to a list of str"),  # never split into characters
    (Text("x"), "a str cannot be converted to a list of str"),
    ({"x", "y"}, "'set' object cannot be converted to 'Sequence'"),
    (iter(["x", "y"]), "'list_iterator' object cannot be converted to 'Sequence'"),
    ((s for s in ["x"]), "'generator' object cannot be converted to 'Sequence'"),
    ({"x": "y"}, "'dict' object cannot be converted to 'Sequence'"),
    (5, "'int' object cannot be converted to 'Sequence'"),
    (["x", 1], "'int' object cannot be converted to 'str'"),
    ([None], "'NoneType' object cannot be converted to 'str'"),
    (b"xy", "'int' object cannot be converted to 'str'"),  # a sequence whose first item is an int
    (range(2), "'int' object cannot be converted to 'str'"),
]


@pytest.mark.parametrize("value, read", RECOMMENDATIONS_TAKEN)
def test_recommendations_taken(value, read):
    assert Verdict("a", "b", 0.5, value).recommendations == read
    assert Verdict("a", "b", 0.5, recommendations=value).recommendations == read


def test_recommendations_left_out():
    assert Verdict("a", "b", 0.5).recommendations == []


@pytest.mark.parametrize("value, detail", RECOMMENDATIONS_REFUSED)
def test_recommendations_refused(value, detail):
    with pytest.raises(TypeError) as caught:
        Verdict("a", "b", 0.5, value)
    assert type(caught.value) is TypeError
    assert str(caught.value) == f"argument 'recommendations': {detail}"


def test_recommendations_item_that_cannot_be_encoded():
    with pytest.raises(UnicodeEncodeError):
        Verdict("a", "b", 0.5, ["ok", "\udcff"])


@pytest.mark.parametrize(
    "call, message",
    [
        # conversion in parameter order: the first failing parameter is reported
        (lambda: Verdict(1, 2, "c"), "argument 'conclusion': 'int' object cannot be converted to 'str'"),
        (lambda: Verdict("a", 2, "c"), "argument 'justification': 'int' object cannot be converted to 'str'"),
        (lambda: Verdict("a", "b", "c"), "argument 'certainty': must be real number, not str"),
        (lambda: Verdict("a", "b", None, "x"), "argument 'certainty': must be real number, not NoneType"),
        (lambda: Verdict("a", "b"), "Verdict.__new__() missing 1 required positional argument: 'certainty'"),
        (
            lambda: Verdict(),
            "Verdict.__new__() missing 3 required positional arguments: "
            "'conclusion', 'justification', and 'certainty'",
        ),
        (
            lambda: Verdict("a", "b", 0.5, None, 1),
            "Verdict.__new__() takes from 3 to 4 positional arguments but 5 were given",
        ),
        (lambda: Verdict("a", "b", 0.5, quality=1), "Verdict.__new__() got an unexpected keyword argument 'quality'"),
        (
            lambda: Verdict("a", "b", 0.5, certainty=1),
            "Verdict.__new__() got multiple values for argument 'certainty'",
        ),
    ],
)
def test_verdict_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "certainty, read",
    [(1, 1.0), (True, 1.0), (0.7, 0.699999988079071), (0.1, 0.10000000149011612), (1e40, math.inf), (-2.5, -2.5)],
)
def test_certainty_is_a_32_bit_float(certainty, read):
    verdict = Verdict(conclusion="a", justification="b", certainty=certainty)
    assert type(verdict.certainty) is float
    assert verdict.certainty == read


def test_certainty_nan_is_kept():
    assert math.isnan(Verdict("a", "b", float("nan")).certainty)


def test_verdict_reads_give_new_objects():
    given_list = ["x", "y"]
    verdict = Verdict("conclusion", "justification", 0.5, given_list)
    given_list.append("z")  # the verdict holds its own copy
    assert verdict.recommendations == ["x", "y"]
    assert verdict.recommendations is not verdict.recommendations
    verdict.recommendations.append("w")
    assert verdict.recommendations == ["x", "y"]
    assert (verdict.conclusion, verdict.justification) == ("conclusion", "justification")


# ---- Verdict: representation ---------------------------------------------------------------

FIFTY = "a" * 50


@pytest.mark.parametrize(
    "conclusion, certainty, shown",
    [
        ("a", 0.7, "Verdict(conclusion='a...', certainty=70%)"),
        ("", 0.5, "Verdict(conclusion='...', certainty=50%)"),
        ("l'avis", 0.5, "Verdict(conclusion='l'avis...', certainty=50%)"),  # no escaping
        ("ligne\nsuivante", 0.5, "Verdict(conclusion='ligne\nsuivante...', certainty=50%)"),
        (FIFTY, 0.5, f"Verdict(conclusion='{FIFTY}...', certainty=50%)"),
        (FIFTY + "b", 0.5, f"Verdict(conclusion='{FIFTY}...', certainty=50%)"),
        ("é" * 51, 0.5, f"Verdict(conclusion='{'é' * 50}...', certainty=50%)"),  # characters, not bytes
        ("a" * 49 + "€𝄞x", 0.5, f"Verdict(conclusion='{'a' * 49}€...', certainty=50%)"),
        ("a" * 48 + "€𝄞x", 0.5, f"Verdict(conclusion='{'a' * 48}€𝄞...', certainty=50%)"),
        ("c", 0.125, "Verdict(conclusion='c...', certainty=12%)"),
        ("c", 0.875, "Verdict(conclusion='c...', certainty=88%)"),
        ("c", 0.005, "Verdict(conclusion='c...', certainty=0%)"),  # 32-bit product exactly 0.5
        ("c", 0.245, "Verdict(conclusion='c...', certainty=24%)"),  # 24.5, a tie to even
        ("c", 1.5, "Verdict(conclusion='c...', certainty=150%)"),
        ("c", -0.004, "Verdict(conclusion='c...', certainty=-0%)"),
        ("c", float("nan"), "Verdict(conclusion='c...', certainty=NaN%)"),
        ("c", float("inf"), "Verdict(conclusion='c...', certainty=inf%)"),
        ("c", -1e40, "Verdict(conclusion='c...', certainty=-inf%)"),
        ("c", 3e38, "Verdict(conclusion='c...', certainty=inf%)"),  # the product overflows 32 bits
    ],
)
def test_verdict_repr(conclusion, certainty, shown):
    verdict = Verdict(conclusion, "j", certainty)
    assert repr(verdict) == shown
    assert str(verdict) == shown


@given(st.text(max_size=80), st.floats(width=32))
def test_verdict_repr_property(conclusion, certainty):
    text = repr(Verdict(conclusion, "j", certainty))
    assert text == f"Verdict(conclusion='{conclusion[:50]}...', certainty={percent_text(certainty)}%)"


# ---- DomainRule, ValidationIssue, ValidationResult ------------------------------------------


def test_rule_fields_and_repr():
    rules = domain.DomainAdapter("medical").rules()
    first = rules[0]
    assert type(first) is domain.DomainRule
    assert (first.id, first.name, first.priority, first.category) == (
        "med_protocol_1",
        "Protocole diagnostique",
        10,
        "Protocol",
    )
    assert first.description == "Anamnèse → Examen physique → Hypothèses → Tests → Diagnostic"
    assert type(first.priority) is int and type(first.category) is str
    assert repr(first) == "DomainRule(id='med_protocol_1', name='Protocole diagnostique')"
    assert str(first) == repr(first)
    assert [rule.category for rule in rules] == [
        "Protocol",
        "Validation",
        "Protocol",
        "Protocol",
        "Hierarchy",
        "Validation",
    ]


def test_rule_categories_read_as_names():
    seen = {rule.category for name in ("medical", "legal", "technical") for rule in domain.DomainAdapter(name).rules()}
    assert seen == {"Protocol", "Validation", "Interpretation", "Hierarchy", "Format"}


def test_issue_fields_and_repr(medical_result):
    warning, error = medical_result.issues
    assert type(warning) is domain.ValidationIssue
    assert (warning.severity, warning.message, warning.suggestion, warning.rule_id) == (
        "Warning",
        "Anamnèse non mentionnée dans le raisonnement",
        "Inclure l'anamnèse du patient",
        "med_protocol_1",
    )
    assert (error.severity, error.rule_id) == ("Error", "med_safety_1")
    assert repr(warning) == "ValidationIssue(severity='Warning', message='Anamnèse non mentionnée dans le raisonnement')"
    assert repr(error) == "ValidationIssue(severity='Error', message='Urgence vitale non évaluée')"


def test_info_severity():
    issues = domain.DomainAdapter("legal").validate("").issues
    assert [issue.severity for issue in issues] == ["Error", "Info"]


def test_result_fields(medical_result):
    r = medical_result
    assert r.valid is False
    assert r.score == f32(0.59999996) and r.score < f32(0.6)
    assert type(r.score) is float
    assert repr(r) == "ValidationResult(valid=false, score=0.60, issues=2)"
    assert len(r.suggestions) == 3


def test_result_reads_give_new_objects(medical_result):
    r = medical_result
    assert r.issues is not r.issues
    assert r.issues[0] is not r.issues[0]
    a, b = r.issues[0], r.issues[0]
    assert (a.severity, a.message, a.suggestion, a.rule_id) == (b.severity, b.message, b.suggestion, b.rule_id)
    taken = r.issues
    taken.clear()
    assert len(r.issues) == 2
    assert r.suggestions is not r.suggestions
    r.suggestions.append("autre")
    assert len(r.suggestions) == 3


def test_issues_outlive_their_result():
    issues = domain.DomainAdapter("technical").validate("").issues
    assert [issue.rule_id for issue in issues] == [
        "tech_repro_1",
        "tech_logs_1",
        "tech_isolation_1",
        "tech_regression_1",
    ]


# ---- instances take no attributes ------------------------------------------------------------


def instances():
    adapter = domain.DomainAdapter("medical")
    result = adapter.validate("")
    return {
        "Verdict": (Verdict("a", "b", 0.5), "conclusion"),
        "DomainRule": (adapter.rules()[0], "priority"),
        "ValidationIssue": (result.issues[0], "severity"),
        "ValidationResult": (result, "valid"),
    }


@pytest.mark.parametrize("name", ["Verdict", "DomainRule", "ValidationIssue", "ValidationResult"])
def test_attributes_are_read_only(name):
    instance, attribute = instances()[name]
    before = getattr(instance, attribute)
    with pytest.raises(AttributeError):
        setattr(instance, attribute, before)
    with pytest.raises(AttributeError):
        delattr(instance, attribute)
    with pytest.raises(AttributeError):
        instance.added = 1
    assert getattr(instance, attribute) == before
