"""The release's apt repository, written by scripts/release into its out
folder, which is then the repository's root: pool/ with every version
published so far, dists/stable/ with its index and Release file, signed, and
what Debian users fetch first: the key as a binary keyring, kivo.sources and
the screenshot that software centres show.

apt-ftparchive makes the index and the Release file. It keeps no state of
its own, as reprepro does in a database beside the repository, which a later
release would then need besides the published files: here the repository is
whatever pool/ holds. It also takes the Release's date from us, the last
commit's. One suite, stable, serves Debian 12 and 13: the package built on 12
installs unchanged on both, so a suite for each would hold the same file.

usage: apt_repository.py OUT DEB [--repository DIR] [--archive-key KEY | --attach-signatures DIR]
  --repository DIR         the published release before this one: its pool/ stays
  --archive-key KEY        sign with the OpenPGP secret key in KEY, whose
                           passphrase is in KIVO_ARCHIVE_PASSPHRASE
  --attach-signatures DIR  take the signatures and the keyring of the signed
                           release in DIR, once they are seen to sign this Release
Adds the files it writes to OUT/SHA256SUMS."""
import argparse
import datetime
import email.utils
import hashlib
import lzma
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SUITE = "dists/stable"
INDEX = "main/binary-amd64/Packages"
POOL = "pool/main/k/kivo"
KEYRING = "kivo-archive-keyring.pgp"
SIGNATURES = ("InRelease", "Release.gpg")
# SHA256 alone: apt takes nothing weaker, and a stronger one would only add bytes.
HASHES = ["-o", "APT::FTPArchive::MD5=false", "-o", "APT::FTPArchive::SHA1=false",
          "-o", "APT::FTPArchive::SHA512=false"]


def fail(message):
    sys.exit("release: error: " + message)


def run(command, what, **kwargs):
    result = subprocess.run(command, capture_output=True, **kwargs)
    if result.returncode != 0:
        fail("%s failed: %s" % (what, result.stderr.decode(errors="replace").strip().replace("\n", " ")))
    return result.stdout


def version_of(deb):
    return re.fullmatch(r"kivo_(.+)_amd64\.deb", deb).group(1)


def fill_pool(out, deb, earlier):
    """OUT/pool: the earlier release's, when given, and DEB. A version is published once, and after
    every older one."""
    pool = os.path.join(out, POOL)
    if earlier and os.path.realpath(earlier) != os.path.realpath(out):
        if not os.path.isdir(os.path.join(earlier, POOL)):
            fail("no apt repository in %s: give the folder of the release before, as published (its pool/)" % earlier)
        shutil.rmtree(os.path.join(out, "pool"), ignore_errors=True)
        shutil.copytree(os.path.join(earlier, POOL), pool)
    elif not earlier:
        shutil.rmtree(os.path.join(out, "pool"), ignore_errors=True)
    os.makedirs(pool, exist_ok=True)
    name, published = os.path.basename(deb), os.path.join(pool, os.path.basename(deb))
    for other in os.listdir(pool):
        if other != name and subprocess.run(["dpkg", "--compare-versions", version_of(other), "gt",
                                             version_of(name)]).returncode == 0:
            fail("the repository already has %s, newer than this release: give the release before this one" % other)
    if os.path.exists(published):
        with open(published, "rb") as a, open(deb, "rb") as b:
            if a.read() != b.read():
                fail("the repository already has %s, with other bytes: a version is published once; "
                     "start a new one with scripts/new-version" % name)
    shutil.copyfile(deb, published)
    return sorted(os.listdir(pool))


def write_index(out, debs):
    suite = os.path.join(out, SUITE)
    shutil.rmtree(os.path.join(out, "dists"), ignore_errors=True)
    os.makedirs(os.path.dirname(os.path.join(suite, INDEX)))
    # One package at a time: a folder's walk would follow its file system's order.
    index = b"".join(run(["apt-ftparchive"] + HASHES + ["packages", os.path.join(POOL, deb)], "apt-ftparchive", cwd=out)
                     for deb in debs)
    with open(os.path.join(suite, INDEX), "wb") as f:
        f.write(index)
    with open(os.path.join(suite, INDEX + ".xz"), "wb") as f:
        f.write(lzma.compress(index))
    date = datetime.datetime.fromtimestamp(int(os.environ["SOURCE_DATE_EPOCH"]), datetime.timezone.utc)
    fields = {"Origin": "Kivo", "Label": "Kivo", "Suite": "stable", "Architectures": "amd64", "Components": "main",
              "Description": "Kivo Tally Station for Debian 12 and 13", "Date": email.utils.format_datetime(date)}
    options = sum((["-o", "APT::FTPArchive::Release::%s=%s" % item] for item in fields.items()), [])
    release = run(["apt-ftparchive"] + HASHES + options + ["release", "."], "apt-ftparchive", cwd=suite)
    with open(os.path.join(suite, "Release"), "wb") as f:
        f.write(release)
    # The index compressed alone, the Release naming both, as Debian's archive has it: under a file:
    # URI apt reads an uncompressed index in place, new even after it refused a new Release.
    os.remove(os.path.join(suite, INDEX))
    return release


def check_signatures(out, release, gnupg):
    """The signatures in OUT sign RELEASE with a key of OUT's keyring."""
    suite, keyring = os.path.join(out, SUITE), os.path.join(out, KEYRING)
    gpgv = ["gpgv", "--homedir", gnupg, "--keyring", keyring]
    signed = run(gpgv + ["--output", "-", os.path.join(suite, "InRelease")], "checking InRelease with " + keyring)
    if signed != release:
        fail("InRelease signs another Release than this one: the signatures are of another build or version")
    run(gpgv + [os.path.join(suite, "Release.gpg"), os.path.join(suite, "Release")], "checking Release.gpg with " + keyring)


def sign(out, key, gnupg):
    if "KIVO_ARCHIVE_PASSPHRASE" not in os.environ:
        fail("the passphrase of %s is read from KIVO_ARCHIVE_PASSPHRASE, which is not set: export it "
             "(empty for a key without one)" % key)
    gpg = ["gpg", "--homedir", gnupg, "--batch", "--no-tty"]
    run(gpg + ["--import", key], "importing the key " + key)
    # Each secret key's line is followed by its fingerprint's.
    lines = run(gpg + ["--with-colons", "--list-secret-keys"], "gpg").decode().splitlines()
    fingerprints = [lines[i + 1].split(":")[9] for i, line in enumerate(lines) if line.startswith("sec:")]
    if len(fingerprints) != 1:
        fail("%s holds %d secret keys: give the repository's key alone" % (key, len(fingerprints)))
    # The passphrase through a pipe, never the command line.
    signing = gpg + ["--pinentry-mode", "loopback", "--passphrase-fd", "0", "--local-user", fingerprints[0],
                     "--digest-algo", "SHA512"]
    suite, passphrase = os.path.join(out, SUITE), os.environ["KIVO_ARCHIVE_PASSPHRASE"].encode()
    for mode, name in ("--clearsign", "InRelease"), ("--detach-sign", "Release.gpg"):
        run(signing + [mode, "--armor", "--output", os.path.join(suite, name), os.path.join(suite, "Release")],
            "signing the repository with %s (is KIVO_ARCHIVE_PASSPHRASE its passphrase?)" % key, input=passphrase)
    with open(os.path.join(out, KEYRING), "wb") as f:
        f.write(run(gpg + ["--export", "--export-options", "export-minimal", fingerprints[0]], "gpg --export"))
    return fingerprints[0]


def main():
    parser = argparse.ArgumentParser(usage=__doc__.split("usage: ")[1].split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("deb")
    parser.add_argument("--repository", dest="earlier")
    parser.add_argument("--archive-key", dest="key")
    parser.add_argument("--attach-signatures", dest="signatures")
    args = parser.parse_args()
    if args.key and args.signatures:
        fail("--archive-key and --attach-signatures exclude each other: sign with a key, or with a release's signatures")
    if args.key and not os.access(args.key, os.R_OK):
        fail("cannot read the repository's key %s: give the file that gpg --export-secret-keys wrote" % args.key)
    debs = fill_pool(args.out, args.deb, args.earlier)
    release = write_index(args.out, debs)
    for name in KEYRING, "panel.png", "kivo.sources":
        if os.path.exists(os.path.join(args.out, name)):
            os.remove(os.path.join(args.out, name))
    gnupg = tempfile.mkdtemp(prefix="kivo-gnupg-")
    try:
        if args.key:
            fingerprint = sign(args.out, args.key, gnupg)
            print("release: the apt repository is signed by the key %s" % fingerprint)
        elif args.signatures and os.path.exists(os.path.join(args.signatures, SUITE, "InRelease")):
            for name in [KEYRING] + [os.path.join(SUITE, s) for s in SIGNATURES]:
                shutil.copyfile(os.path.join(args.signatures, name), os.path.join(args.out, name))
        else:
            print("release: the apt repository is not signed, and apt will not take it: give --archive-key")
        signed = os.path.exists(os.path.join(args.out, KEYRING))
        if signed:
            check_signatures(args.out, release, gnupg)
    finally:
        subprocess.run(["gpgconf", "--homedir", gnupg, "--kill", "gpg-agent"], capture_output=True)
        shutil.rmtree(gnupg, ignore_errors=True)
    shutil.copyfile(os.path.join(SOURCE, "packaging", "kivo.sources"), os.path.join(args.out, "kivo.sources"))
    shutil.copyfile(os.path.join(SOURCE, "docs", "panel.png"), os.path.join(args.out, "panel.png"))
    files = [KEYRING] * signed + ["kivo.sources", "panel.png"]
    files += [os.path.join(SUITE, name) for name in sorted(SIGNATURES * signed + ("Release", INDEX + ".xz"))]
    files += [os.path.join(POOL, deb) for deb in debs]
    with open(os.path.join(args.out, "SHA256SUMS"), "a") as sums:
        for name in files:
            with open(os.path.join(args.out, name), "rb") as f:
                sums.write("%s  %s\n" % (hashlib.sha256(f.read()).hexdigest(), name))


if __name__ == "__main__":
    main()
