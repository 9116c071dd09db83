"""domain.DomainAdapter: choosing the adapter by name, its six methods, their errors."""
import ctypes

import pytest

import morvane

DomainAdapter = morvane.domain.DomainAdapter
Verdict = morvane.domain.Verdict

UNKNOWN = "Unknown domain: {}. Supported: medical, legal, technical"
DISPLAY = {"medical": "Medical", "legal": "Legal", "technical": "Technical"}
TERMINOLOGY_SIZES = {"medical": 50, "technical": 53, "legal": 50}
TECHNICAL_RULE_IDS = [
    "tech_debug_1",
    "tech_repro_1",
    "tech_isolation_1",
    "tech_logs_1",
    "tech_regression_1",
    "tech_format_1",
]


def f32(value):
    return ctypes.c_float(value).value


@pytest.fixture
def medical():
    return DomainAdapter("medical")


# ---- construction ------------------------------------------------------------------


@pytest.mark.parametrize(
    "args, kwargs, shown",
    [
        (("medical",), {}, "Medical"),
        (("MEDICAL",), {}, "Medical"),
        (("Medical",), {}, "Medical"),
        ((), {"domain": "mEdIcAl"}, "Medical"),
        (("legal",), {}, "Legal"),
        (("LEGAL",), {}, "Legal"),
        (("technical",), {}, "Technical"),
        (("TechNical",), {}, "Technical"),
    ],
)
def test_names_in_any_ascii_case_choose_the_adapter(args, kwargs, shown):
    adapter = DomainAdapter(*args, **kwargs)
    assert type(adapter) is DomainAdapter
    assert adapter.domain_name() == shown
    # The representation shows the display name, not the argument.
    assert repr(adapter) == f"DomainAdapter(domain='{shown}')"
    assert str(adapter) == repr(adapter)


@pytest.mark.parametrize(
    "name",
    [
        " legal",  # nothing is trimmed
        "medical ",
        "medical\n",
        "médical",  # accents refuse the name
        "Médical",
        "MÉDICAL",  # full lower-casing gives "médical": still refused, shown as given
        "TECHNİCAL",  # U+0130 lower-cases to "i" and a combining dot, not to "i"
        "tech",
        "medicallegal",
        "",
    ],
)
def test_other_names_are_refused_as_given(name):
    with pytest.raises(ValueError) as caught:
        DomainAdapter(name)
    assert type(caught.value) is ValueError
    assert caught.value.args == (UNKNOWN.format(name),)


def test_leading_blank_kept_in_the_message():
    with pytest.raises(ValueError, match="^Unknown domain:  legal\\. Supported"):
        DomainAdapter(" legal")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: DomainAdapter(), "DomainAdapter.__new__() missing 1 required positional argument: 'domain'"),
        (
            lambda: DomainAdapter("medical", "legal"),
            "DomainAdapter.__new__() takes 1 positional arguments but 2 were given",
        ),
        (lambda: DomainAdapter(name="medical"), "DomainAdapter.__new__() got an unexpected keyword argument 'name'"),
        (lambda: DomainAdapter(3), "argument 'domain': 'int' object cannot be converted to 'str'"),
        (lambda: DomainAdapter(None), "argument 'domain': 'NoneType' object cannot be converted to 'str'"),
        (lambda: DomainAdapter(b"medical"), "argument 'domain': 'bytes' object cannot be converted to 'str'"),
    ],
)
def test_constructor_type_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_str_subclass_is_taken_as_text():
    class Name(str):
        pass

    assert DomainAdapter(Name("LEGAL")).domain_name() == "Legal"


def test_lone_surrogate_raises_the_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        DomainAdapter("medical\udc80")


# ---- methods: signatures and argument errors -----------------------------------------

METHOD_DOCS = [
    ("domain_name", "($self)", "Get the domain name"),
    ("terminology", "($self)", "Get the terminology dictionary"),
    ("rules", "($self)", "Get the domain rules"),
    ("validate", "($self, reasoning)", "Validate reasoning"),
    ("format_output", "($self, verdict)", "Format output for a verdict"),
    ("enrich_context", "($self, context)", "Enrich context"),
]


def test_methods_in_order_with_their_docstrings():
    names = [name for name in vars(DomainAdapter) if not name.startswith("__")]
    assert names == [name for name, _, _ in METHOD_DOCS]
    for name, signature, doc in METHOD_DOCS:
        method = getattr(DomainAdapter, name)
        assert method.__text_signature__ == signature
        assert method.__doc__ == doc


@pytest.mark.parametrize("name", ["domain_name", "terminology", "rules"])
def test_methods_without_parameters_refuse_arguments(medical, name):
    with pytest.raises(TypeError):
        getattr(medical, name)(1)
    with pytest.raises(TypeError):
        getattr(medical, name)(x=1)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda a: a.validate(), "DomainAdapter.validate() missing 1 required positional argument: 'reasoning'"),
        (lambda a: a.validate(5), "argument 'reasoning': 'int' object cannot be converted to 'str'"),
        (lambda a: a.validate(reasoning=5), "argument 'reasoning': 'int' object cannot be converted to 'str'"),
        (lambda a: a.validate("x", "y"), "DomainAdapter.validate() takes 1 positional arguments but 2 were given"),
        (lambda a: a.validate(text="x"), "DomainAdapter.validate() got an unexpected keyword argument 'text'"),
        (lambda a: a.enrich_context(), "DomainAdapter.enrich_context() missing 1 required positional argument: 'context'"),
        (lambda a: a.enrich_context(None), "argument 'context': 'NoneType' object cannot be converted to 'str'"),
        (lambda a: a.enrich_context(context=1.5), "argument 'context': 'float' object cannot be converted to 'str'"),
        (lambda a: a.format_output(), "DomainAdapter.format_output() missing 1 required positional argument: 'verdict'"),
        (
            lambda a: a.format_output(Verdict("a", "b", 0.5), verdict=Verdict("a", "b", 0.5)),
            "DomainAdapter.format_output() got multiple values for argument 'verdict'",
        ),
    ],
)
def test_method_argument_errors(medical, call, message):
    with pytest.raises(TypeError) as caught:
        call(medical)
    assert str(caught.value) == message


# ---- terminology ----------------------------------------------------------------------


@pytest.mark.parametrize("domain, size", list(TERMINOLOGY_SIZES.items()))
def test_terminology_is_a_new_dict_in_one_order_per_domain(domain, size):
    adapter = DomainAdapter(domain)
    first = adapter.terminology()
    assert type(first) is dict and len(first) == size
    assert all(type(k) is str and type(v) is str for k, v in first.items())
    second = adapter.terminology()
    assert second is not first
    other = DomainAdapter(domain.upper())
    # Same entries in the same order: on one adapter and across adapters of one domain.
    assert list(second.items()) == list(first.items())
    assert list(other.terminology().items()) == list(first.items())


def test_terminology_belongs_to_the_caller(medical):
    taken = medical.terminology()
    expected = list(taken.items())
    del taken["fever"]
    taken["added"] = "ajouté"
    taken["cough"] = "changé"
    assert list(medical.terminology().items()) == expected


def test_terminology_entries():
    medical = DomainAdapter("medical").terminology()
    assert medical["history"] == "anamnèse" and medical["mri"] == "IRM"
    technical = DomainAdapter("technical").terminology()
    assert technical["breakpoint"] == "point d'arrêt"
    assert technical["fault"] == technical["defect"] == "défaut"


# ---- rules ------------------------------------------------------------------------------


def test_technical_rules_in_table_order_new_on_every_call():
    adapter = DomainAdapter("technical")
    first, second = adapter.rules(), adapter.rules()
    assert type(first) is list and first is not second
    assert [rule.id for rule in first] == TECHNICAL_RULE_IDS
    for a, b in zip(first, second):
        assert type(a) is morvane.domain.DomainRule
        assert a is not b
        assert (a.id, a.name, a.description, a.priority, a.category) == (
            b.id,
            b.name,
            b.description,
            b.priority,
            b.category,
        )
    assert (first[5].category, first[5].priority) == ("Format", 6)
    first.clear()
    assert len(adapter.rules()) == 6


@pytest.mark.parametrize("domain", list(DISPLAY))
def test_rules_equal_across_adapters_of_one_domain(domain):
    def fields(adapter):
        return [(r.id, r.name, r.description, r.priority, r.category) for r in adapter.rules()]

    assert fields(DomainAdapter(domain)) == fields(DomainAdapter(domain.title()))


# ---- validate -----------------------------------------------------------------------------

# (domain, reasoning, valid, 32-bit score, rule ids of the issues in order, number of suggestions)
VALIDATIONS = [
    ("medical", "", True, 0.75, ["med_protocol_1", "med_differential_1"], 0),
    ("medical", "anamnèse, diagnostic puis diagnostic", True, 1.0, [], 0),
    ("medical", "Anamnèse: diagnostic diagnostic", True, 0.9, ["med_protocol_1"], 0),  # capital: not found
    ("medical", "urgence sans plus; diagnostic diagnostic", False, 0.59999996, ["med_protocol_1", "med_safety_1"], 3),
    ("medical", "patient history, urgence vitale", True, 0.85, ["med_differential_1"], 0),
    ("technical", "", False, 0.15, ["tech_repro_1", "tech_logs_1", "tech_isolation_1", "tech_regression_1"], 4),
    ("technical", "la cause, puis les tests", True, 0.6, ["tech_repro_1", "tech_logs_1"], 0),
    ("legal", "", False, 0.5, ["legal_foundation_1", "legal_precedent_1"], 3),
    ("legal", "le règlement puis la loi; jurisprudence", True, 0.8, ["legal_hierarchy_1"], 0),
]


@pytest.mark.parametrize("domain, reasoning, valid, score, rule_ids, suggestions", VALIDATIONS)
def test_validate(domain, reasoning, valid, score, rule_ids, suggestions):
    result = DomainAdapter(domain).validate(reasoning)
    assert type(result) is morvane.domain.ValidationResult
    assert result.valid is valid
    assert result.score == f32(score)
    assert [issue.rule_id for issue in result.issues] == rule_ids
    assert len(result.suggestions) == suggestions
    shown = f"{f32(score):.2f}"
    assert repr(result) == f"ValidationResult(valid={str(valid).lower()}, score={shown}, issues={len(rule_ids)})"


def test_validate_shows_the_two_threshold_reprs():
    medical = DomainAdapter("medical")
    assert repr(medical.validate("")) == "ValidationResult(valid=true, score=0.75, issues=2)"
    invalid = medical.validate("urgence; diagnostic, diagnostic")
    assert repr(invalid) == "ValidationResult(valid=false, score=0.60, issues=2)"
    assert invalid.suggestions == [
        "Suivre le protocole diagnostique complet",
        "Développer le diagnostic différentiel",
        "Évaluer les urgences vitales",
    ]


def test_validate_by_keyword_gives_equal_but_distinct_results(medical):
    first = medical.validate(reasoning="")
    second = medical.validate("")
    assert first is not second
    assert [(i.severity, i.message, i.suggestion, i.rule_id) for i in first.issues] == [
        (i.severity, i.message, i.suggestion, i.rule_id) for i in second.issues
    ]


def test_validate_lone_surrogate_raises_the_encoding_error(medical):
    with pytest.raises(UnicodeEncodeError):
        medical.validate("anamnèse \ud800")


# ---- format_output ----------------------------------------------------------------------

MEDICAL_REPORT = (
    "=== RAPPORT MÉDICAL ===\n\nDIAGNOSTIC:\nGrippe saisonnière\n\nJUSTIFICATION:\nFièvre et toux\n\n"
    "CERTITUDE: 80%\nQUALITÉ: 80%\n\nRECOMMANDATIONS:\nRepos\nHydratation\n\n=== FIN DU RAPPORT ==="
)


def test_format_output_whole_medical_report(medical):
    verdict = Verdict("Grippe saisonnière", "Fièvre et toux", 0.8, ["Repos", "Hydratation"])
    assert medical.format_output(verdict) == MEDICAL_REPORT
    assert medical.format_output(verdict=verdict) == MEDICAL_REPORT
    # The verdict is left as it was.
    assert (verdict.conclusion, verdict.certainty, verdict.recommendations) == (
        "Grippe saisonnière",
        f32(0.8),
        ["Repos", "Hydratation"],
    )


@pytest.mark.parametrize("domain", list(DISPLAY))
@pytest.mark.parametrize("certainty, shown", [(0.5, "50"), (0.245, "24"), (-0.001, "-0"), (float("nan"), "NaN")])
def test_format_output_quality_is_the_certainty(domain, certainty, shown):
    report = DomainAdapter(domain).format_output(Verdict("c", "j", certainty))
    assert f"CERTITUDE: {shown}%\nQUALITÉ: {shown}%\n" in report


def test_format_output_without_recommendations_leaves_their_place_empty():
    report = DomainAdapter("technical").format_output(Verdict("s", "c", 1.0))
    assert "CORRECTION:\n\n\nCERTITUDE: 100%" in report


class LooksLikeVerdict:
    conclusion = "a"
    justification = "b"
    certainty = 0.5
    recommendations = []


@pytest.mark.parametrize(
    "value",
    ["verdict", {"conclusion": "a"}, None, 0.5, LooksLikeVerdict(), DomainAdapter("legal"), Verdict],
)
def test_format_output_takes_only_a_verdict(medical, value):
    with pytest.raises(TypeError) as caught:
        medical.format_output(value)
    qualname = type(value).__qualname__
    assert str(caught.value) == f"argument 'verdict': '{qualname}' object cannot be converted to 'Verdict'"


# ---- enrich_context -----------------------------------------------------------------------

BLOCK_STARTS = {
    "medical": "\n\nCONTEXTE MÉDICAL:\n",
    "technical": "\n\nCONTEXTE TECHNIQUE:\n",
    "legal": "\n\nCONTEXTE JURIDIQUE:\n",
}
BLOCK_BYTES = {"medical": 224, "technical": 215, "legal": 248}


@pytest.mark.parametrize("domain", list(DISPLAY))
def test_enrich_context(domain):
    adapter = DomainAdapter(domain)
    block = adapter.enrich_context("")
    assert block.startswith(BLOCK_STARTS[domain])
    assert len(block.encode()) == BLOCK_BYTES[domain]
    assert adapter.enrich_context(context="  Cas n°1 \n") == "  Cas n°1 \n" + block


def test_adapter_takes_no_attributes(medical):
    with pytest.raises(AttributeError):
        medical.domain = "legal"
    with pytest.raises(AttributeError):
        medical.validate = None
    assert medical.domain_name() == "Medical"
