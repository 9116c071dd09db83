"""What the module makes of a French problem text."""
from morvane import ForensicDeconstruction

TEXT = "Patient présente fièvre, toux, fatigue depuis 3 jours"


def main():
    forensic = ForensicDeconstruction()
    print(f"Forensic analysis of: {TEXT}")
    print(forensic.analyze(TEXT))


if __name__ == "__main__":
    main()
