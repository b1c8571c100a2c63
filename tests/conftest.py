import pathlib
import sys

# Test helpers live in tests/support.
sys.path.insert(0, str(pathlib.Path(__file__).parent))
