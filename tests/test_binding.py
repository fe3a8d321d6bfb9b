"""Binding of positional and keyword arguments, and its TypeErrors."""

import pytest

import vexa

ec = vexa.enumerate_cliques_with_weights
ecn = vexa.enumerate_cliques_with_weights_noprune
md = vexa.maxclique_decompose_with_weights
eo = vexa.enumerate_cliques_with_weights_edgeonly

TWO = [[1], [0]]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ec(TWO), "enumerate_cliques_with_weights() missing 1 required positional argument: 'maxrank'"),
        (lambda: ec(), "enumerate_cliques_with_weights() missing 2 required positional arguments: 'nbrs' and 'maxrank'"),
        (lambda: ec(maxrank=2), "enumerate_cliques_with_weights() missing 1 required positional argument: 'nbrs'"),
        (lambda: md(), "maxclique_decompose_with_weights() missing 2 required positional arguments: 'adj' and 'maxrank'"),
        (lambda: eo(), "enumerate_cliques_with_weights_edgeonly() missing 1 required positional argument: 'adj'"),
        (lambda: ec(TWO, 2, 3), "enumerate_cliques_with_weights() takes 2 positional arguments but 3 were given"),
        (lambda: eo(TWO, 2), "enumerate_cliques_with_weights_edgeonly() takes 1 positional arguments but 2 were given"),
        (lambda: ecn(TWO, 2, 3, 4), "enumerate_cliques_with_weights_noprune() takes 2 positional arguments but 4 were given"),
        (lambda: ec(TWO, 2, maxrank=3), "enumerate_cliques_with_weights() got multiple values for argument 'maxrank'"),
        (lambda: ec(TWO, nbrs=TWO), "enumerate_cliques_with_weights() got multiple values for argument 'nbrs'"),
        (lambda: eo(adj=[[]], maxrank=1), "enumerate_cliques_with_weights_edgeonly() got an unexpected keyword argument 'maxrank'"),
        # keywords are checked before missing parameters, in the order given
        (lambda: md(nbrs=TWO, maxrank=2), "maxclique_decompose_with_weights() got an unexpected keyword argument 'nbrs'"),
        (lambda: ec(Nbrs=TWO, bogus=1), "enumerate_cliques_with_weights() got an unexpected keyword argument 'Nbrs'"),
        (lambda: ec(TWO, bogus=1, nbrs=TWO), "enumerate_cliques_with_weights() got an unexpected keyword argument 'bogus'"),
        (lambda: ec(TWO, nbrs=TWO, bogus=1), "enumerate_cliques_with_weights() got multiple values for argument 'nbrs'"),
        # surplus positionals are checked before keywords
        (lambda: ec(TWO, 2, 3, bogus=1), "enumerate_cliques_with_weights() takes 2 positional arguments but 3 were given"),
        (lambda: eo(**{"adj\udcff": [[]]}), "enumerate_cliques_with_weights_edgeonly() got an unexpected keyword argument 'adj\ufffd\ufffd\ufffd'"),
        (lambda: eo(**{"a\x00dj": [[]]}), "enumerate_cliques_with_weights_edgeonly() got an unexpected keyword argument 'a\x00dj'"),
        (lambda: eo(**{"ädj": [[]]}), "enumerate_cliques_with_weights_edgeonly() got an unexpected keyword argument 'ädj'"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_binding_comes_before_conversion():
    # a bad list argument is never looked at when binding fails
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'maxrank'"):
        ec("not a list")


@pytest.mark.parametrize(
    "call",
    [
        lambda: eo([[1], [0]]),
        lambda: eo(adj=[[1], [0]]),
        lambda: eo(**{"adj": [[1], [0]]}),
    ],
)
def test_keywords_bind_like_positions(call):
    assert call() == ([[0], [1], [0, 1]], [0, 0, 1])


def test_keyword_order_does_not_matter():
    # The same conversion either way, and the same result.
    for function in (ec, ecn):
        assert function(maxrank=2, nbrs=TWO) == function(TWO, 2) == ([[0], [1], [0, 1], [1, 0]], [-1, -1, 1, 1])
    assert md(maxrank=2, adj=TWO) == md(TWO, maxrank=2) == ([[0, 1]], [1])
