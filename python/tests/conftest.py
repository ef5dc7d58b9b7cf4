"""Shared fixtures: the card, and the source tree's examples and golden files."""
import os
import pathlib

import pytest

import meshweave

SOURCE_DIR = pathlib.Path(os.environ.get("MESHWEAVE_SOURCE_DIR",
                                         pathlib.Path(__file__).resolve().parents[2]))


@pytest.fixture(scope="session")
def card() -> meshweave.Topology:
    return meshweave.Topology.m1472()


@pytest.fixture
def list_words():
    """Word sequences as lists for the duration of a test."""
    was = meshweave.numpy_words()
    meshweave.set_numpy_words(False)
    yield
    meshweave.set_numpy_words(was)
