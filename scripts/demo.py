"""What the module makes of a French problem text: analysis, reasoning, domain report."""
from morvane import ForensicDeconstruction, MultiPathReasoning, ThoughtNode, domain

TEXT = "Patient présente fièvre, toux, fatigue depuis 3 jours"


class Expert:
    """A small Python searcher: two follow-up thoughts per node."""

    def expand(self, node, context_domain):
        step = node.depth + 1
        return [
            ThoughtNode("", f"Étape {step} ({context_domain}): examiner les signes vitaux", 0.6 + 0.1 * step, 0),
            ThoughtNode("", f"Étape {step} ({context_domain}): demander une radiographie", 0.5, 0),
        ]


def section(title):
    print(f"\n=== {title} ===")


def main():
    section(f"Forensic analysis of: {TEXT}")
    analysis = ForensicDeconstruction().analyze(TEXT)
    print(analysis)

    section("Simple strategy (three fixed paths)")
    print(MultiPathReasoning.simple().generate(analysis, "medical"))

    section("Beam search driven by a Python searcher")
    print(MultiPathReasoning.beam_search(2, 3, Expert()).generate(analysis, "medical"))

    section("Medical domain adapter")
    adapter = domain.DomainAdapter("medical")
    reasoning = "Fièvre et toux depuis 3 jours, anamnèse sans antécédent notable. Premier diagnostic: grippe."
    result = adapter.validate(reasoning)
    print(result)
    for issue in result.issues:
        print(f"  [{issue.severity}] {issue.message} ({issue.rule_id}): {issue.suggestion}")
    verdict = domain.Verdict(
        "Grippe saisonnière",
        "Fièvre, toux et fatigue depuis 3 jours, sans signe de gravité",
        0.85,
        ["Repos et hydratation", "Paracétamol si fièvre mal tolérée", "Consulter si dyspnée"],
    )
    print(adapter.format_output(verdict))
    print()
    print(adapter.enrich_context(TEXT))


if __name__ == "__main__":
    main()
