#!/usr/bin/env python3
"""Makes Ferrowind's release files so that two builds of one commit give the same bytes: every
time stamp is the commit's (SOURCE_DATE_EPOCH, or the commit time when it is unset), never the
clock's.

  release.py dated COMMAND...     runs COMMAND with SOURCE_DATE_EPOCH set (the module's link)
  release.py msi ARCH VERSION WXS MODULE GUIDE EXAMPLE OUTPUT
                                  one Windows Installer package of the module
  release.py release FOLDER VERSION WXS MODULE MODULE64 GUIDE EXAMPLE [CERTIFICATE [PASSWORD_FILE [TIMESTAMP_URL [URL]]]]
                                  the whole release in FOLDER: the zip, both packages, SHA256SUMS

With a certificate (PKCS#12) the modules are signed before they go into the zip and the
packages, then the packages; its password comes from FERROWIND_SIGN_PASSWORD or PASSWORD_FILE.
A release that fails leaves no FOLDER behind."""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
import zipfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
# Product codes follow from kind and version (a package rebuilt for one version is the same
# product); package codes, unique to each package, from the package's content.
PRODUCT_NAMESPACE = uuid.UUID("AB8D6871-8047-485A-A660-BEDE4EE4F7BC")
PACKAGE_NAMESPACE = uuid.UUID("5C1D7E52-3F0B-4E7A-9D64-1B2F8A0C6E93")
# wixl writes the summary's package code (a 38-character string) followed by the creation and
# last-save times (FILETIMEs), all from its own clock and random source.
SUMMARY = re.compile(rb"(\x1e\0\0\0\x27\0\0\0)\{[0-9A-F-]{36}\}(\0\0\x40\0\0\0).{8}(\x40\0\0\0).{8}", re.S)


class Refusal(Exception):
    """A release that cannot be made as asked, with the reason for its maker."""


def epoch():
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        return int(given)
    committed = subprocess.run(["git", "-C", str(SOURCE), "log", "-1", "--format=%ct"],
                               capture_output=True, text=True)
    if committed.returncode or not committed.stdout.strip():
        raise Refusal("no commit to take the time stamps from: set SOURCE_DATE_EPOCH")
    return int(committed.stdout)


def replace(path, data):
    """Writes path whole or not at all."""
    temporary = Path(f"{path}.partial")
    temporary.write_bytes(data)
    os.replace(temporary, path)


def build_msi(arch, version, wxs, module, guide, example, output):
    stamp = epoch()
    product = str(uuid.uuid5(PRODUCT_NAMESPACE, f"Ferrowind {arch} {version}")).upper()
    with tempfile.TemporaryDirectory() as folder:
        # wixl finds files relative to its working folder only; the cabinet keeps their times.
        for name, source in [("Ferrowind.scr", module), ("INSTALL.txt", guide), ("ferrowind-example.reg", example)]:
            shutil.copyfile(source, Path(folder, name))
            os.utime(Path(folder, name), (stamp, stamp))
        subprocess.run(["wixl", "-a", arch, "-D", f"Arch={arch}", "-D", f"Version={version}",
                        "-D", f"ProductCode={product}", "-o", "package.msi", str(Path(wxs).resolve())],
                       cwd=folder, check=True, env={**os.environ, "TZ": "UTC"})
        package = Path(folder, "package.msi").read_bytes()
    filetime = ((stamp + 11644473600) * 10_000_000).to_bytes(8, "little")

    def summary(code):
        return SUMMARY.subn(lambda m: m[1] + b"{%s}" % code + m[2] + filetime + m[3] + filetime, package)

    package, found = summary(b"00000000-0000-0000-0000-000000000000")
    if found != 1:
        raise Refusal(f"{output}: wixl's summary information is not laid out as expected")
    package, _ = summary(str(uuid.uuid5(PACKAGE_NAMESPACE, hashlib.sha256(package).hexdigest())).upper().encode())
    replace(output, package)


def write_zip(output, members):
    """The members (name, file) in this order, with the commit's time, no owner, no folders."""
    when = time.gmtime(max(epoch(), 315532800))[:6]   # a zip's dates start in 1980
    temporary = Path(f"{output}.partial")
    with zipfile.ZipFile(temporary, "w") as package:
        for name, source in members:
            entry = zipfile.ZipInfo(name, when)
            entry.compress_type, entry.create_system, entry.external_attr = zipfile.ZIP_DEFLATED, 3, 0o100644 << 16   # a plain file, rw-r--r--
            package.writestr(entry, Path(source).read_bytes())
    os.replace(temporary, output)


class Signer:
    """Signs with a PKCS#12 certificate whose password is never on a command line. The
    certificate is checked before anything is signed."""

    def __init__(self, certificate, password_file, timestamp_url, url):
        self.certificate, self.timestamp_url, self.url = certificate, timestamp_url, url
        if not Path(certificate).is_file():
            raise Refusal(f"the signing certificate {certificate} does not exist")
        self.password = os.environ.get("FERROWIND_SIGN_PASSWORD")
        if self.password is None:
            if not password_file:
                raise Refusal("no password for the signing certificate: set FERROWIND_SIGN_PASSWORD"
                              " or FERROWIND_SIGN_PASSWORD_FILE")
            if not Path(password_file).is_file():
                raise Refusal(f"the password file {password_file} does not exist")
            self.password = (Path(password_file).read_text().splitlines() or [""])[0]
        opened = subprocess.run(["openssl", "pkcs12", "-in", certificate, "-clcerts", "-nokeys", "-passin", "stdin"],
                                input=self.password + "\n", capture_output=True, text=True)
        if opened.returncode:
            raise Refusal(f"cannot open the signing certificate {certificate}: wrong password, or not a PKCS#12 file")
        usage = subprocess.run(["openssl", "x509", "-noout", "-ext", "extendedKeyUsage"],
                               input=opened.stdout, capture_output=True, text=True).stdout
        if "Code Signing" not in usage:
            raise Refusal(f"the certificate in {certificate} is not for code signing (its extended key usage"
                          " lacks codeSigning)")

    def sign(self, path, stamp):
        """Signs path in place: the signed file replaces it only when signing succeeded."""
        signed = Path(f"{path}.signed")
        # osslsigncode reads the password from a file; this one is private and removed at once.
        with tempfile.NamedTemporaryFile("w") as secret:
            secret.write(self.password + "\n")
            secret.flush()
            run = subprocess.run(["osslsigncode", "sign", "-pkcs12", self.certificate, "-readpass", secret.name,
                                  "-h", "sha256", "-n", "Ferrowind", "-i", self.url, "-time", str(stamp),
                                  *(["-ts", self.timestamp_url] if self.timestamp_url else []),
                                  "-in", str(path), "-out", str(signed)], capture_output=True, text=True)
        if run.returncode:
            signed.unlink(missing_ok=True)
            raise Refusal(f"signing {path.name} failed: {(run.stderr or run.stdout).strip().splitlines()[0]}")
        os.replace(signed, path)


def release(folder, version, wxs, module, module64, guide, example, certificate="", password_file="",
            timestamp_url="", url=""):
    folder = Path(folder)
    shutil.rmtree(folder, ignore_errors=True)   # an earlier release must not pass for this one
    signer = Signer(certificate, password_file, timestamp_url, url) if certificate else None
    stamp = epoch()
    work = Path(tempfile.mkdtemp(prefix=".release-", dir=folder.parent))
    try:
        modules = {"x86": work / "Ferrowind.scr", "x64": work / "x64" / "Ferrowind.scr"}
        for arch, source in [("x86", module), ("x64", module64)]:
            modules[arch].parent.mkdir(exist_ok=True)
            shutil.copyfile(source, modules[arch])
            if signer:
                signer.sign(modules[arch], stamp)
        out = work / "out"
        out.mkdir()
        files = [f"Ferrowind-{version}-win32.zip", f"Ferrowind-{version}-x86.msi", f"Ferrowind-{version}-x64.msi"]
        write_zip(out / files[0], [("Ferrowind.scr", modules["x86"]), ("x64/Ferrowind.scr", modules["x64"]),
                                   ("ferrowind-example.reg", example), ("INSTALL.txt", guide)])
        for arch, name in [("x86", files[1]), ("x64", files[2])]:
            build_msi(arch, version, wxs, modules[arch], guide, example, out / name)
            if signer:
                signer.sign(out / name, stamp)
        (out / "SHA256SUMS").write_text("".join(f"{hashlib.sha256((out / name).read_bytes()).hexdigest()}  {name}\n"
                                                for name in files))
        os.replace(out, folder)
    finally:
        shutil.rmtree(work)
    print(f"release: signed with {certificate}" if signer else
          "release: unsigned (no signing certificate: set FERROWIND_SIGN_CERTIFICATE to sign)")


def main(command, *arguments):
    try:
        if command == "dated":
            os.execvpe(arguments[0], arguments, {**os.environ, "SOURCE_DATE_EPOCH": str(epoch())})
        {"msi": build_msi, "release": release}[command](*arguments)
    except Refusal as refusal:
        sys.exit(f"release: {refusal}")


if __name__ == "__main__":
    main(*sys.argv[1:])
