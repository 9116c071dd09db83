"""ForensicDeconstruction: construction, configuration, analysis and its failures."""
import datetime
import json
import math
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import morvane
from conftest import UNDER_ASAN, run_python

F = morvane.ForensicDeconstruction
EXAMPLE = "Patient présente fièvre, toux, fatigue depuis 3 jours"
WORKED = "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données."

ANALYZE_DOC = (
    "Analyze a problem and return the forensic analysis as JSON\n\n# Arguments\n\n"
    "* `input` - The problem text to analyze\n\n# Returns\n\nA JSON string containing the analysis results\n\n"
    "# Example\n\n```python\nfrom morvane import ForensicDeconstruction\n\nforensic = ForensicDeconstruction()\n"
    "result = forensic.analyze(\"Patient présente fièvre, toux, fatigue depuis 3 jours\")\nprint(result)\n```"
)

TIMESTAMP = re.compile(r'"timestamp": "([^"]*)"')
RFC3339 = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.(\d{3}|\d{6}|\d{9}))?\+00:00")


def without_timestamp(text):
    return TIMESTAMP.sub('"timestamp": "T"', text)


def test_method_docstrings():
    assert F.analyze.__text_signature__ == "($self, input)"
    assert F.analyze.__doc__ == ANALYZE_DOC
    assert F.with_config.__text_signature__ == "(detect_unreliable_narrator, min_confidence, extract_constraints)"
    assert F.with_config.__doc__ == "Create a ForensicDeconstruction with custom configuration"
    assert sorted(name for name in vars(F) if not name.startswith("__")) == ["analyze", "with_config"]


def test_the_docstring_example():
    before = datetime.datetime.now(datetime.timezone.utc)
    text = F().analyze(EXAMPLE)
    after = datetime.datetime.now(datetime.timezone.utc)
    stamp = TIMESTAMP.search(text).group(1)
    assert RFC3339.fullmatch(stamp)
    taken = datetime.datetime.fromisoformat(stamp)
    assert before - datetime.timedelta(seconds=1) <= taken <= after + datetime.timedelta(seconds=1)
    constraints = ['"domain": "medical"', '"temporal": "explicit"']
    expected = [
        "{\n"
        '  "facts": [\n'
        '    "Patient présente fièvre, toux, fatigue depuis 3 jours"\n'
        "  ],\n"
        '  "desires": [\n'
        '    "Objectif Indéterminé (Analyse approfondie requise)"\n'
        "  ],\n"
        '  "constraints": {\n'
        f"    {first},\n"
        f"    {second}\n"
        "  },\n"
        '  "unreliable_indicators": [],\n'
        '  "metadata": {\n'
        '    "timestamp": "T",\n'
        '    "detected_domain": "medical",\n'
        '    "confidence": 0.8\n'
        "  }\n"
        "}"
        for first, second in (constraints, constraints[::-1])
    ]
    assert without_timestamp(text) in expected


def test_the_worked_example():
    analysis = json.loads(F().analyze(WORKED))
    assert analysis["facts"] == [
        "ABSENCE/NÉGATION: Le serveur ne répond pas",
        "Erreur 500",
        "CONTEXTE: Je pense que c'est la base de données",
    ]
    assert analysis["constraints"] == {"domain": "technical"}
    assert analysis["unreliable_indicators"] == ["Hésitation: 'je pense'", "Émotion forte (Ponctuation excessive)"]
    assert analysis["metadata"]["detected_domain"] == "technical"
    assert '"confidence": 0.70000005' in F().analyze(WORKED)


def test_configuration_changes_the_analysis():
    no_constraints = F.with_config(True, 0.5, False).analyze(EXAMPLE)
    assert '"constraints": {},' in no_constraints
    assert json.loads(no_constraints)["metadata"]["confidence"] == 0.7
    trusting = json.loads(F.with_config(False, 0.5, True).analyze(WORKED))
    assert trusting["unreliable_indicators"] == []
    assert '"confidence": 0.90000004' in F.with_config(False, 0.5, True).analyze(WORKED)


def test_calls_are_independent():
    forensic = F()
    first = without_timestamp(forensic.analyze(WORKED))
    assert all(without_timestamp(forensic.analyze(WORKED)) == first for _ in range(5))
    results = {forensic.analyze(EXAMPLE) for _ in range(3)}
    assert all(type(result) is str for result in results)


@pytest.mark.parametrize(
    "make, text, message",
    [
        (F, "   ", "Analysis failed: Empty input provided"),
        (F, "", "Analysis failed: Empty input provided"),
        (F, "\u2003\n\t", "Analysis failed: Empty input provided"),
        (
            lambda: F.with_config(True, 0.6, True),
            "Bonjour.",
            "Analysis failed: Analysis failed: Confidence 0.50 below minimum 0.60",
        ),
        (
            lambda: F.with_config(True, math.inf, True),
            "Bonjour.",
            "Analysis failed: Analysis failed: Confidence 0.50 below minimum inf",
        ),
        (
            lambda: F.with_config(True, 2, True),
            EXAMPLE,
            "Analysis failed: Analysis failed: Confidence 0.80 below minimum 2.00",
        ),
        (lambda: F.with_config(True, 0.0, True), " ", "Analysis failed: Empty input provided"),
    ],
)
def test_analysis_failures(make, text, message):
    with pytest.raises(ValueError) as caught:
        make().analyze(text)
    assert type(caught.value) is ValueError
    assert caught.value.args == (message,)


def test_text_with_nul_and_control_characters_passes_whole():
    analysis = F().analyze("Patient présente\x00 une fièvre\x01 depuis hier")
    assert "Patient présente\\u0000 une fièvre\\u0001 depuis hier" in analysis


@settings(max_examples=200, deadline=None)
@given(st.text(st.characters(blacklist_categories=("Cs",)), max_size=80))
def test_any_text_travels_through_utf8_unchanged(text):
    text += " fièvre du patient depuis hier"  # never empty, always a fact
    analysis = json.loads(F().analyze(text))
    assert analysis["facts"]
    for fact in analysis["facts"]:
        assert fact.removeprefix("ABSENCE/NÉGATION: ").removeprefix("CONTEXTE: ") in text


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory does not fit under an address-space limit")
def test_running_out_of_memory_raises_memory_error_and_the_process_lives_on():
    result = run_python(
        """
        import json, resource
        import morvane

        forensic = morvane.ForensicDeconstruction()
        forensic.analyze("Patient présente fièvre, toux, fatigue depuis 3 jours")  # tables built
        big = "patient " * (32 << 20)  # 256 MiB of ASCII: its UTF-8 is the str's own data
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
        limit = size + (64 << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            forensic.analyze(big)
        except MemoryError:
            outcome = "MemoryError"
        else:
            outcome = "no error"
        del big
        after = json.loads(forensic.analyze("Patient présente fièvre, toux, fatigue depuis 3 jours"))
        print(json.dumps({"outcome": outcome, "confidence": after["metadata"]["confidence"]}))
        """
    )
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout) == {"outcome": "MemoryError", "confidence": 0.8}
