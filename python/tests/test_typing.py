"""The shipped stubs type-check a small usage file."""
import os
import pathlib
import subprocess
import sys

import meshweave

HERE = pathlib.Path(__file__).resolve().parent


def test_stubs_check_a_typed_usage_file():
    package_root = pathlib.Path(meshweave.__file__).resolve().parents[1]
    env = dict(os.environ, MYPYPATH=str(package_root))
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental",
         "--cache-dir", os.devnull, str(HERE / "typed_usage.py")],
        capture_output=True, text=True, env=env)
    assert result.returncode == 0, result.stdout + result.stderr
