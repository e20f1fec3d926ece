"""An installed package imports from its prefix and finds the tables in <prefix>/share/marlinq."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

BUILD = os.environ.get("MARLINQ_BUILD_DIR")
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
SITE = os.environ.get("MARLINQ_PYTHON_INSTALL_DIR")


@pytest.mark.skipif(not (BUILD and SITE), reason="needs MARLINQ_BUILD_DIR and MARLINQ_PYTHON_INSTALL_DIR (set by CTest)")
def test_installed_package_runs_from_its_prefix(tmp_path, batch):
    prefix = tmp_path / "prefix"
    done = subprocess.run([CMAKE, "--install", BUILD, "--prefix", str(prefix)], capture_output=True, timeout=300)
    assert done.returncode == 0, done.stderr.decode()
    package = prefix / SITE / "marlinq"
    assert (package / "__init__.py").is_file() and (package / "_layout.py").is_file()
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    script = ("import marlinq; r = marlinq.run(); "
              "print(marlinq.__file__); print(marlinq.data_file('Chains_values01.dat')); print(r.most_probable); "
              "print('marlinq-batch %s (commit %s)' % (marlinq.__version__, marlinq.__commit__))")
    env = dict(os.environ, PYTHONPATH=str(prefix / SITE))
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, cwd=elsewhere, env=env, timeout=300)
    assert done.returncode == 0, done.stderr.decode()
    module, table, most_probable, version = done.stdout.decode().splitlines()
    assert module == str(package / "__init__.py")
    assert table == str(prefix / "share" / "marlinq" / "Chains_values01.dat")
    assert most_probable == "(4, 4)"
    # The same build as the batch command: same release, same commit.
    code, out, err = batch("--version")
    assert code == 0 and out == version + "\n", (out, version)


def test_another_python_is_told_which_one_the_module_needs(tmp_path):
    # The package as another CPython finds it: an engine compiled for a Python it is not.
    import shutil

    import marlinq
    package = Path(marlinq.__file__).parent
    copy = tmp_path / "marlinq"
    shutil.copytree(package, copy, ignore=shutil.ignore_patterns("__pycache__"))
    for engine in copy.glob("_core.*"):
        engine.rename(copy / "_core.cpython-39-x86_64-linux-gnu.so")
    done = subprocess.run([sys.executable, "-c", "import marlinq"], capture_output=True, timeout=60, cwd=tmp_path,
                          env=dict(os.environ, PYTHONPATH=str(tmp_path)))
    assert done.returncode != 0
    message = done.stderr.decode().strip().splitlines()[-1]
    built_for = __import__("marlinq._built_for", fromlist=["PYTHON_VERSION"])
    assert message.startswith("ImportError: marlinq's compiled engine was built for Python " +
                              built_for.PYTHON_VERSION), message
    assert "this Python " + sys.version.split()[0] + " (" + sys.executable + ")" in message, message


def test_a_python_without_numpy_is_told_what_is_missing(tmp_path):
    # A NumPy that cannot be imported, first on the path of the Python running the tests.
    import marlinq
    fake = tmp_path / "numpy"
    fake.mkdir()
    (fake / "__init__.py").write_text("raise ModuleNotFoundError(\"No module named 'numpy'\", name='numpy')\n")
    path = os.pathsep.join([str(tmp_path), str(Path(marlinq.__file__).parent.parent)])
    done = subprocess.run([sys.executable, "-c", "import marlinq"], capture_output=True, timeout=60, cwd=tmp_path,
                          env=dict(os.environ, PYTHONPATH=path))
    assert done.returncode != 0
    message = done.stderr.decode().strip().splitlines()[-1]
    this = "this Python " + sys.version.split()[0] + " (" + sys.executable + ")"
    assert "it needs NumPy, which " + this + " cannot import" in message, message
    built_for = __import__("marlinq._built_for", fromlist=["PYTHON_EXECUTABLE"])
    if os.path.realpath(sys.executable) == os.path.realpath(built_for.PYTHON_EXECUTABLE):
        assert "install NumPy for it" in message, message
    else:
        assert "run it with " + built_for.PYTHON_EXECUTABLE in message, message
