"""Builds the releases that the release's checks look at, each once, with
scripts/release from clones of the sources: first and next, then, with
--again, again, which only the comparison needs (scripts/test builds it beside
the package checks, in the CPU they leave):

- first: this version, as it is committed, its apt repository signed with a
  throw-away OpenPGP key;
- next: the next version, made with scripts/new-version, signed with a
  throw-away certificate and the same OpenPGP key, in first's repository;
- again: the next version once more, from next's signatures, at another path,
  with another umask, time zone and locale, and as nobody where the build may
  switch users (as root). It must give next's bytes, file for file.

usage: build_releases.py FOLDER
       build_releases.py --again FOLDER
FOLDER receives first/, next/ and again/ (each a release's files), the
signer's certificate, first's lintian log and next's commit (next.bundle),
from which again is built. The clones live in a temporary
folder that every user may enter, since the sources may not be (/root, a
private home).

first and next are built at one path with one compiler cache, so that next
compiles only what the version changed; again compiles everything afresh,
so it still tells a build that depends on its path or cache."""
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PASSWORD = "kivo test"


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def version():
    return subprocess.check_output(["dpkg-parsechangelog", "-l", os.path.join(SOURCE, "debian", "changelog"),
                                    "-S", "Version"], text=True).strip().rsplit("-", 1)[0]


def next_version():
    major_minor, patch = version().rsplit(".", 1)
    return "%s.%d" % (major_minor, int(patch) + 1)


def build(clone, commit, source=SOURCE, as_nobody=False, variations=None, new_version=None, options=(),
          password=None, cache=None, keep=None):
    """scripts/release in a clone of source at commit, compiling through
    ccache in cache if given; the release's folder, moved to keep if given."""
    variations = dict(variations or {})
    if cache:
        variations.update(CCACHE_DIR=cache, CMAKE_C_COMPILER_LAUNCHER="ccache", CMAKE_CXX_COMPILER_LAUNCHER="ccache")
    run(["git", "clone", "-q", "--no-hardlinks", source, clone])
    run(["git", "-C", clone, "checkout", "-q", "--detach", commit])
    if new_version:
        run([os.path.join(clone, "scripts", "new-version"), new_version])
        run(["git", "-C", clone, "-c", "user.name=Kivo test", "-c", "user.email=test@kivo.invalid",
             "commit", "-q", "-a", "-m", "Version %s" % new_version])
    out = os.path.join(os.path.dirname(clone), "out")
    env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": os.path.dirname(clone)}
    env.update({k: v for k, v in variations.items() if k != "umask"})
    if password:
        env["KIVO_SIGN_PASSWORD"] = env["KIVO_ARCHIVE_PASSPHRASE"] = password
    command = ["bash", "-c", 'umask %s && exec "$0" --out "$@"' % variations.get("umask", "022"),
               os.path.join(clone, "scripts", "release"), out] + list(options)
    if as_nobody:
        nobody = pwd.getpwnam("nobody")
        run(["chown", "-R", "%d:%d" % (nobody.pw_uid, nobody.pw_gid), os.path.dirname(clone)])
        command = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups"] + command
    result = subprocess.run(command, env=env, capture_output=True, text=True, cwd=os.path.dirname(clone))
    if result.returncode != 0:
        sys.exit("scripts/release failed in %s:\n%s%s" % (clone, result.stdout, result.stderr))
    if keep:
        os.rename(os.path.dirname(clone), keep)
        return os.path.join(keep, "out")
    return out


def build_again(folder, work):
    """again, from the copies of next's commit and of the releases it names, where nobody may read them."""
    for name in "first", "next":
        shutil.copytree(os.path.join(folder, name), os.path.join(work, name))
    bundle = shutil.copy(os.path.join(folder, "next.bundle"), work)
    commit = run(["git", "bundle", "list-heads", bundle, "HEAD"]).split()[0]
    again = build(os.path.join(work, "again", "somewhere", "else"), commit, source=bundle,
                  as_nobody=os.geteuid() == 0,
                  options=["--attach-signatures", os.path.join(work, "next"), "--repository", os.path.join(work, "first")],
                  variations={"TZ": "Pacific/Chatham", "LANG": "C", "LC_ALL": "C", "umask": "077"})
    shutil.rmtree(os.path.join(folder, "again"), ignore_errors=True)
    shutil.copytree(again, os.path.join(folder, "again"))


def main():
    again = sys.argv[1:2] == ["--again"]
    folder = os.path.abspath(sys.argv[-1])
    if not again:
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    work = tempfile.mkdtemp(prefix="kivo-releases-")
    try:
        os.chmod(work, 0o755)
        if again:
            return build_again(folder, work)
        head = run(["git", "-C", SOURCE, "rev-parse", "HEAD"]).strip()
        # The repository's key as a real one is: with a passphrase, from a GNUPGHOME of its own.
        gnupg, archive = os.path.join(work, "gnupg"), os.path.join(work, "archive-key.pgp")
        gpg = ["gpg", "--homedir", gnupg, "--batch", "--pinentry-mode", "loopback", "--passphrase", PASSWORD]
        os.mkdir(gnupg, 0o700)
        run(gpg + ["--quick-gen-key", "Kivo test archive <archive@kivo.invalid>", "ed25519", "sign", "2d"])
        run(gpg + ["--output", archive, "--export-secret-keys"])
        run(["gpgconf", "--homedir", gnupg, "--kill", "gpg-agent"])
        clone, cache = os.path.join(work, "build", "kivo"), os.path.join(work, "ccache")
        first = build(clone, head, options=["--archive-key", archive], password=PASSWORD, cache=cache,
                      keep=os.path.join(work, "first"))
        certificate, key = os.path.join(folder, "signer.pem"), os.path.join(work, "signer.p12")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Kivo test signer",
             "-keyout", key + ".pem", "-out", certificate])
        run(["openssl", "pkcs12", "-export", "-inkey", key + ".pem", "-in", certificate, "-out", key,
             "-passout", "pass:" + PASSWORD])
        signed = build(clone, head, new_version=next_version(), password=PASSWORD, cache=cache,
                       options=["--sign", key, "--archive-key", archive, "--repository", first])
        run(["git", "-C", clone, "bundle", "create", os.path.join(folder, "next.bundle"), "HEAD"])
        for name, out in ("first", first), ("next", signed):
            shutil.copytree(out, os.path.join(folder, name))
        shutil.copy(os.path.join(work, "first", "kivo", "build-release", "lintian.log"), folder)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
