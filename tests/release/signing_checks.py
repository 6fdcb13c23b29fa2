#!/usr/bin/env python3
"""Signs a release with a throwaway code-signing certificate: both modules and packages verify
against it with the product and its URL; the signed 64-bit module runs full screen in the bed
until a key ends it; the signed x64 package installs it byte for byte. Each refusal ends with
its message and leaves no release. This tree's module stands for both: signing is width-blind.
   signing_checks.py RELEASE_PY BUILD WINEBED VERSION WXS MODULE GUIDE EXAMPLE"""
import os
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

release_py, build, winebed, version, wxs, module, guide, example = sys.argv[1:]
work = Path(tempfile.mkdtemp())
unset = {name: value for name, value in os.environ.items() if name != "FERROWIND_SIGN_PASSWORD"}
password = {**unset, "FERROWIND_SIGN_PASSWORD": "throwaway"}
url = "https://ferrowind.test/"
failures = []


def certificate(name, usage):
    """A self-signed certificate for usage, as name.pem, and with its key as name.p12."""
    key, pem, p12 = (work / f"{name}.{kind}" for kind in ("key", "pem", "p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Ferrowind test",
                    "-addext", f"extendedKeyUsage={usage}", "-keyout", key, "-out", pem], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", p12, "-passout",
                    "env:FERROWIND_SIGN_PASSWORD"], check=True, env=password)
    return str(p12)


def release(folder, signing_certificate, environment, password_file=""):
    return subprocess.run([sys.executable, release_py, "release", work / folder, version, wxs, module, module, guide,
                           example, signing_certificate, password_file, "", url],
                          capture_output=True, text=True, env=environment)


def wine(*arguments, **environment):
    return subprocess.run([winebed, build, "run", *arguments], capture_output=True,
                          env={**os.environ, **environment}).returncode


good, other = certificate("good", "codeSigning"), certificate("other", "serverAuth")
(work / "wrong").write_text("wrong\n")
if (made := release("release", good, password)).returncode:
    sys.exit(f"FAIL: the signed release: {made.stderr}")
signed = work / "release"
zipfile.ZipFile(signed / f"Ferrowind-{version}-win32.zip").extractall(work / "zip")
for path in [work / "zip/Ferrowind.scr", work / "zip/x64/Ferrowind.scr", *signed.glob("*.msi")]:
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", work / "good.pem", "-in", path],
                              capture_output=True, text=True).stdout
    if not all(line in verified for line in ["Signature verification: ok", "Text description: Ferrowind",
                                               f"URL description: {url}"]):
        failures.append(f"{path.name} does not verify as signed for Ferrowind: {verified}")

# The signed module in the bed, as the suite runs its own; then installed by the signed package.
running = Path(build, "bin", "FerrowindSigned.scr")
running.write_bytes(running_bytes := (work / "zip/x64/Ferrowind.scr").read_bytes())
if wine(str(Path(build, "bin", "saver_tests.exe")), "--gtest_filter=FullScreenSaver.*", FERROWIND_MODULE=running.name):
    failures.append("the signed module does not run as the saver")
running.unlink()
package = "Z:" + str(signed / f"Ferrowind-{version}-x64.msi").replace("/", "\\")
installed = Path(build, "wineprefix", "drive_c", "windows", "system32", "Ferrowind.scr")
if wine("msiexec", "/i", package, "/qn") or not installed.exists() or installed.read_bytes() != running_bytes:
    failures.append("the signed package does not install the signed module")
wine("msiexec", "/x", package, "/qn")

# (case, certificate, environment, password file, the message's part)
refusals = [("a missing certificate", str(work / "missing.p12"), password, "", "does not exist"),
            ("a wrong password", good, unset, str(work / "wrong"), "wrong password"),
            ("a certificate not for code signing", other, password, "", "not for code signing")]
for case, signing_certificate, environment, password_file, message in refusals:
    refused = release("refused", signing_certificate, environment, password_file)
    leftovers = [path.name for path in work.iterdir() if path.name == "refused" or path.name.startswith(".release")]
    if refused.returncode == 0 or message not in refused.stderr or leftovers:
        failures.append(f"{case}: exit code {refused.returncode}, said {refused.stderr.strip()!r}, left {leftovers}")
subprocess.run(["rm", "-rf", work])
for failure in failures:
    print("FAIL:", failure)
print(f"signing checks: {'passed' if not failures else 'failed'}")
sys.exit(1 if failures else 0)
