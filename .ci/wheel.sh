#!/usr/bin/env bash
# Packaging check: builds the sdist and, from it, the wheel; installs the
# wheel in a fresh virtual environment and uses it there as a user would:
# the demo, and the type stubs through stubtest, mypy and pyright.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 -m pip install -q build
python3 -m build --outdir "$work/dist" "$root"
wheels=("$work"/dist/vexa-*.whl)
sdists=("$work"/dist/vexa-*.tar.gz)
test -f "${wheels[0]}" && test -f "${sdists[0]}"
python3 - "${wheels[0]}" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
assert "vexa-stubs/__init__.pyi" in names and any(n.startswith("vexa.") for n in names), names
assert {"vexa_dask/__init__.py", "vexa_dask/graphs.py", "vexa_dask/shards.py", "vexa_dask/py.typed"} <= set(names), names
PY
python3 - "${sdists[0]}" <<'PY'
import sys, tarfile
names = {n.split("/", 1)[1] for n in tarfile.open(sys.argv[1]).getnames() if "/" in n}
assert {"src/vexa_dask/__init__.py", "src/vexa_dask/shards.py"} <= names, sorted(names)
PY

python3 -m venv "$work/venv"
py="$work/venv/bin/python"
"$py" -m pip install -q "${wheels[0]}" mypy basedpyright

cd "$work"  # away from the source tree, so that only the installed copy is found
"$py" -c 'import sys, vexa; assert vexa.__file__.startswith(sys.prefix), vexa.__file__'
"$py" "$root/examples/demo.py"
"$py" -m mypy.stubtest vexa
"$py" -m mypy --strict "$root/examples/demo.py"
echo '{"typeCheckingMode": "strict"}' > pyrightconfig.json
"$work/venv/bin/basedpyright" -p pyrightconfig.json --pythonpath "$py" "$root/examples/demo.py"
echo "wheel check: sdist, wheel, demo, stubtest, mypy and pyright all passed"
