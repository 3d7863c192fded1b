from pathlib import Path

import pytest

from tests.support.projects import SPRITE, Project


@pytest.fixture
def project(tmp_path) -> Project:
    project = Project(tmp_path)
    project.palette()
    return project


@pytest.fixture
def sprite(project) -> Path:
    return project.animation(SPRITE, speed=7)
