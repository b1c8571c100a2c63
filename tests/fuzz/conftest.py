import pathlib
import sys

# The fuzzer lives in tools/fuzz, imported as tools.fuzz from the repository root.
ROOT = pathlib.Path(__file__).resolve().parents[2]
if str(ROOT) not in sys.path:
    sys.path.insert(0, str(ROOT))
