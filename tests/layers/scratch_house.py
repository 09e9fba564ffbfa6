"""What the tests of the house checks share: a small house written into a
temporary folder, changed one way, the check run on it, and what it prints
held against the one offence wanted (or none)."""
import pathlib
import subprocess
import sys
import tempfile


def write(root, name, text):
    path = root / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


class CheckRuns:
    """Runs `script` on houses that `build(root)` writes; lines that `ignore`
    picks are not offences of the house."""

    def __init__(self, script, build, ignore=lambda line: False):
        self.script = pathlib.Path(script)
        self.build = build
        self.ignore = ignore
        self.failures = []

    def expect(self, name, change, wanted):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            self.build(root)
            if change:
                change(root)
            run = subprocess.run([sys.executable, str(self.script), str(root)], capture_output=True, text=True)
            lines = [l for l in run.stdout.splitlines() if not self.ignore(l)]
            if run.stderr:
                self.failures.append(f"{name}: the check failed: {run.stderr}")
            found = [l for l in lines if wanted and wanted in l]
            if wanted and (run.returncode != 1 or len(found) != 1 or len(lines) != 1):
                self.failures.append(f"{name}: wanted one offence with '{wanted}', got {lines}")
            if not wanted and (lines or run.returncode != 0):
                self.failures.append(f"{name}: wanted none, got {lines}")

    def finish(self):
        for failure in self.failures:
            print(failure)
        sys.exit(1 if self.failures else 0)
