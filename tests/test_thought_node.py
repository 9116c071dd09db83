"""ThoughtNode: construction, conversions and its read-only attributes."""
import math

import pytest

from morvane import ThoughtNode

NEW = "ThoughtNode.__new__()"


def test_attributes_read_back_the_converted_values():
    node = ThoughtNode("n1", "texte", 0.1, 0)
    assert (node.id, node.content, node.depth) == ("n1", "texte", 0)
    assert node.score == 0.10000000149011612  # narrowed to 32 bits, widened exactly
    assert type(node.score) is float and type(node.depth) is int


def test_keywords_and_an_int_score():
    node = ThoughtNode(id="n1", content="texte", score=1, depth=3, parent=None)
    assert node.score == 1.0 and type(node.score) is float
    assert node.depth == 3
    assert ThoughtNode(depth=2, score=0.5, content="c", id="i", parent="p").depth == 2


@pytest.mark.parametrize(
    "score, read",
    [(1e40, math.inf), (-1e40, -math.inf), (-3.5, -3.5), (7, 7.0), (True, 1.0), (math.inf, math.inf)],
)
def test_scores_take_any_float_without_a_range(score, read):
    assert ThoughtNode("i", "c", score, 0).score == read


def test_nan_score_passes():
    assert math.isnan(ThoughtNode("i", "c", math.nan, 0).score)


def test_texts_are_taken_whole():
    text = "fièvre\x00\n\U0001f600 \"quoted\""
    node = ThoughtNode(text, text, 0.5, 0, text)
    assert node.id == text and node.content == text


class Text(str):
    pass


def test_str_subclasses_are_texts():
    node = ThoughtNode(Text("i"), Text("c"), 0.5, 0, Text("p"))
    assert type(node.id) is str and node.id == "i"


def test_attributes_come_in_order_and_there_is_no_parent():
    public = [name for name in vars(ThoughtNode) if not name.startswith("_")]
    assert public == ["id", "content", "score", "depth"]
    node = ThoughtNode("n1", "texte", 0.5, 1, "p")
    with pytest.raises(AttributeError):
        node.parent


@pytest.mark.parametrize("name", ["id", "content", "score", "depth", "parent", "other"])
def test_nothing_can_be_set(name):
    node = ThoughtNode("n1", "texte", 0.5, 1)
    with pytest.raises(AttributeError):
        setattr(node, name, 1)


def test_every_read_makes_a_new_object():
    node = ThoughtNode("n" * 40, "c" * 40, 0.25, 2**63)
    assert node.content is not node.content
    assert node.depth is not node.depth


def test_no_representation_comparison_or_hash_of_its_own():
    a = ThoughtNode("n1", "texte", 0.5, 1)
    b = ThoughtNode("n1", "texte", 0.5, 1)
    assert a != b and a == a
    assert repr(a) == object.__repr__(a) and str(a) == repr(a)
    assert hash(a) == object.__hash__(a)


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: ThoughtNode("a", "b", 0.5), TypeError, f"{NEW} missing 1 required positional argument: 'depth'"),
        (
            lambda: ThoughtNode(),
            TypeError,
            f"{NEW} missing 4 required positional arguments: 'id', 'content', 'score', and 'depth'",
        ),
        (
            lambda: ThoughtNode("a", "b", 0.5, 1, None, 2),
            TypeError,
            f"{NEW} takes from 4 to 5 positional arguments but 6 were given",
        ),
        (lambda: ThoughtNode("a", "b", 0.5, 1, node=1), TypeError, f"{NEW} got an unexpected keyword argument 'node'"),
        (lambda: ThoughtNode("a", "b", 0.5, 1, id="x"), TypeError, f"{NEW} got multiple values for argument 'id'"),
        (lambda: ThoughtNode(1, "b", 0.5, 1), TypeError, "argument 'id': 'int' object cannot be converted to 'str'"),
        (lambda: ThoughtNode("a", b"b", 0.5, 1), TypeError, "argument 'content': 'bytes' object cannot be converted to 'str'"),
        (lambda: ThoughtNode("a", "b", "0.5", 1), TypeError, "argument 'score': must be real number, not str"),
        (lambda: ThoughtNode("a", "b", None, 1), TypeError, "argument 'score': must be real number, not NoneType"),
        (
            lambda: ThoughtNode("a", "b", 0.5, 1.5),
            TypeError,
            "argument 'depth': 'float' object cannot be interpreted as an integer",
        ),
        (lambda: ThoughtNode("a", "b", 0.5, 1, 7), TypeError, "argument 'parent': 'int' object cannot be converted to 'str'"),
        # conversion runs in parameter order: the first bad argument is the one reported
        (lambda: ThoughtNode("a", 2, "x", -1, 7), TypeError, "argument 'content': 'int' object cannot be converted to 'str'"),
        (lambda: ThoughtNode("a", "b", 0.5, -1, 7), OverflowError, None),
        (lambda: ThoughtNode("a", "\ud800", 0.5, 1), UnicodeEncodeError, None),
    ],
)
def test_construction_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message
