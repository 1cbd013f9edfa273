"""The doc-reference check must catch each kind of dangling citation and pass a clean tree."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "check-doc-references.py")

SOURCE = """
TEST(FileNameTest, KeepsTheLastComponent) {}
TEST_F(RunDownloadTest, SetupStartsAfterItsOwnDownload) {}
int PrepareWorkFolder();
"""


class CheckDocReferences(unittest.TestCase):
    def run_check(self, doc):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "tests"))
            with open(os.path.join(root, "tests", "RunTest.cpp"), "w") as f:
                f.write(SOURCE)
            with open(os.path.join(root, "README.md"), "w") as f:
                f.write(doc)
            done = subprocess.run([sys.executable, SCRIPT, "--root", root, "README.md"],
                                  capture_output=True, text=True)
            return done.returncode, done.stdout

    def test_existing_citations_pass(self):
        rc, out = self.run_check(
            "`FileNameTest.KeepsTheLastComponent`, `RunDownloadTest.*`, `tests/RunTest.cpp`,\n"
            "SetupStartsAfterItsOwnDownload and `PrepareWorkFolder`; `DIR/tools/x.exe`, "
            "`build/win/a.exe` and `../../x.exe` are not tree paths.\n")
        self.assertEqual(0, rc, out)

    def test_each_dangling_citation_fails(self):
        cases = {
            "`FileNameTest.KeepsTheFirstComponent`": "no test FileNameTest.KeepsTheFirstComponent",
            "`GoneSuiteTest.*`": "no test suite GoneSuiteTest",
            "`tests/http/RequestExecutionTest.cpp`": "no file tests/http/RequestExecutionTest.cpp",
            "see FirstEntryEndingInSlashGivesNoSetup": "no name FirstEntryEndingInSlashGivesNoSetup",
            "`CWorkFolder::PrepareWorkFolder`": "no name CWorkFolder",
        }
        for doc, expected in cases.items():
            with self.subTest(doc=doc):
                rc, out = self.run_check(doc + "\n")
                self.assertEqual(1, rc, out)
                self.assertIn("README.md:1: " + expected, out)


if __name__ == "__main__":
    unittest.main()
