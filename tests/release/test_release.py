"""The release's files, as tests/release/build_releases.py built them into
build-native/releases: the next version built twice, signed and from its
signatures, must give the same bytes (Reproducible). Then what was built
(Release): the zip, Kivo.exe, and the Debian package's lint, contents,
dependencies, icons, desktop entry, metainfo and launcher, the signatures, the
apt repository, and the installer under Wine (installed, upgraded to the next
version, refused a downgrade, removed)."""
import filecmp
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from PIL import Image

from build_releases import SOURCE, next_version, version
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402  (found through the path set just above)

RELEASES = os.path.join(SOURCE, "build-native", "releases")
VERSION, NEXT_VERSION = version(), next_version()
DEB = "kivo_%s-1_amd64.deb" % VERSION
ZIP = "kivo-%s-windows-x64.zip" % VERSION
MSI = "kivo-%s-x64.msi" % VERSION
FILES = ["Kivo.exe", ZIP, DEB, MSI, "SHA256SUMS"]
METAINFO = "usr/share/metainfo/example.kivo.tallystation.metainfo.xml"
ICON_SIZES = [16, 32, 48, 64, 128, 256]
INSPECTOR = os.path.join(SOURCE, "build", "tests", "e2e", "kivo_inspector.exe")
# What Windows Installer keeps of its own, whatever is installed, and the
# precompiled INF files Wine writes when it first sets up a device (its input
# devices, once a program has used the display), whenever that happens.
INSTALLER_RECORDS = re.compile(r"(Microsoft|CurrentVersion|windows)[\\/]Installer\b|windows/inf/[^/]*\.pnf$",
                               re.IGNORECASE)


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def released(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, names in os.walk(folder) for f in names)


def products(env):
    """Version and publisher of each Kivo in Apps (per user: HKCU in Windows, HKLM in Wine)."""
    text = "".join(harness.run_wine(["reg", "query", root + r"\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                                     "/s"], env)[1] for root in ("HKCU", "HKLM")).replace("\r\n", "\n")
    return [re.findall(r"\n +(?:DisplayVersion|Publisher) +REG_SZ +(.*)", entry)
            for entry in text.split("\n\n") if "    DisplayName    REG_SZ    Kivo Tally Station\n" in entry]


def wine_state(prefix, env):
    """The files and folders on the prefix's drive C, and the registry keys it keeps. Wine's server is
    ended first, so that it saves the registry: its volatile keys, such as the network cards that a
    driver lists each time Wine's services start (or not yet, at a given moment), are not kept."""
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    state = {os.path.join(d, n) for d, dirs, files in os.walk(os.path.join(prefix, "drive_c")) for n in dirs + files}
    for root, saved in ("HKLM", "system.reg"), ("HKCU", "user.reg"), ("HKU\\.Default", "userdef.reg"):
        with open(os.path.join(prefix, saved), encoding="utf-8", errors="replace") as f:
            state.update(root + "\\" + line[1:line.rindex("]")].replace("\\\\", "\\") for line in f if line.startswith("["))
    return state


class Reproducible(unittest.TestCase):
    """The next version built once more, from its signatures, at another path, with another umask,
    time zone and locale, and as nobody."""

    @classmethod
    def setUpClass(cls):
        cls.next, cls.next_again = (os.path.join(RELEASES, name) for name in ("next", "again"))
        subprocess.run([sys.executable, "build_releases.py", "--again", RELEASES], check=True)

    def test_two_builds_give_the_same_bytes(self):
        self.assertEqual(released(self.next_again), released(self.next))
        for one, other, name in [(self.next, self.next_again, name) for name in
                                 sorted(set(released(self.next)) | {f.replace(VERSION, NEXT_VERSION) for f in FILES})]:
            with self.subTest(name):
                first, second = os.path.join(one, name), os.path.join(other, name)
                if not os.path.exists(first) or not os.path.exists(second):
                    self.fail("%s is missing from a release" % name)
                with open(first, "rb") as a, open(second, "rb") as b:
                    if a.read() != b.read():
                        why = subprocess.run(["diffoscope", "--text", "-", "--max-text-report-size", "20000",
                                              first, second], capture_output=True, text=True).stdout
                        self.fail("the two builds of %s differ; diffoscope says:\n%s" % (name, why))


class Release(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.first, cls.next = (os.path.join(RELEASES, name) for name in ("first", "next"))
        cls.certificate = os.path.join(RELEASES, "signer.pem")
        cls.work = tempfile.mkdtemp(prefix="kivo-release-test-")
        cls.root = os.path.join(cls.work, "unpacked")
        run(["dpkg-deb", "-x", os.path.join(cls.first, DEB), cls.root])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def test_checksums_and_zip(self):
        for folder, version in (self.first, VERSION), (self.next, NEXT_VERSION):
            checked = run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=folder).splitlines()
            self.assertEqual(checked[:4], [f.replace(VERSION, version) + ": OK" for f in ["Kivo.exe", ZIP, DEB, MSI]])
            self.assertEqual(sorted(line[:-4] for line in checked), [f for f in released(folder) if f != "SHA256SUMS"])
        self.assertTrue(filecmp.cmp(os.path.join(self.next, "pool", "main", "k", "kivo", DEB),
                                    os.path.join(self.first, DEB), shallow=False), "the first version kept in the pool")
        with open(os.path.join(self.first, "Kivo.exe"), "rb") as f:
            exe = f.read()
        with zipfile.ZipFile(os.path.join(self.first, ZIP)) as z:
            self.assertEqual(z.namelist(), ["Kivo.exe", "README.txt", "LICENSE.txt"])
            self.assertEqual(z.read("Kivo.exe"), exe)
            guide = z.read("README.txt").decode("ascii")
            licence = z.read("LICENSE.txt")
        self.assertIn("COM11", guide)
        self.assertIn("Device Manager", guide)
        self.assertEqual(guide.count("\n"), guide.count("\r\n"), "the guide has Windows line ends")
        self.assertTrue(b"MIT License" in licence and b"Lucent Technologies" in licence, "ours and the runtime's notice")
        with open(self.path("usr", "lib", "kivo", "Kivo.exe"), "rb") as f:
            self.assertEqual(f.read(), exe, "the package carries the same program as the zip")

    def test_program_is_stripped_stamped_zero_and_carries_the_version(self):
        with open(os.path.join(self.first, "Kivo.exe"), "rb") as f:
            exe = f.read()
        header = struct.unpack_from("<I", exe, 0x3C)[0]
        self.assertEqual(exe[header:header + 4], b"PE\0\0")
        self.assertEqual(struct.unpack_from("<I", exe, header + 8)[0], 0, "no link time in the PE header")
        sections = run(["x86_64-w64-mingw32-objdump", "-h", os.path.join(self.first, "Kivo.exe")])
        self.assertNotIn(".debug", sections)
        self.assertNotIn(b"/build-release", exe, "no build path in the program")
        # VS_FIXEDFILEINFO: signature, struct version, then the file version's two halves.
        fixed = exe.index(struct.pack("<I", 0xFEEF04BD))
        major, minor, patch = map(int, VERSION.split("."))
        self.assertEqual(struct.unpack_from("<II", exe, fixed + 8), (major << 16 | minor, patch << 16))

    def test_package_is_lintian_clean(self):
        # scripts/release runs lintian on every package it builds, and keeps what it said.
        with open(os.path.join(RELEASES, "lintian.log")) as log:
            tags = [line for line in log.read().splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(tags, [])

    def test_package_contents_and_dependencies(self):
        files = sorted("/" + os.path.relpath(os.path.join(d, f), self.root)
                       for d, _, names in os.walk(self.root) for f in names)
        expected = ["/usr/bin/kivo", "/usr/lib/kivo/Kivo.exe", "/usr/lib/kivo/kivo-devsim",
                    "/usr/lib/kivo/launcher.sh", "/usr/lib/kivo/session.sh", "/usr/lib/kivo/wine",
                    "/usr/share/applications/kivo.desktop", "/usr/share/doc/kivo/changelog.Debian.gz",
                    "/usr/share/doc/kivo/copyright", "/usr/share/lintian/overrides/kivo",
                    "/usr/share/man/man1/kivo.1.gz", "/" + METAINFO]
        expected += ["/usr/share/icons/hicolor/%dx%d/apps/kivo.png" % (s, s) for s in ICON_SIZES]
        self.assertEqual(files, sorted(expected))

        deb = os.path.join(self.first, DEB)
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).strip()
        names = sorted(d.split("(")[0].strip() for d in depends.split(","))
        # Wine and its fonts for the panel; the C and C++ runtimes for the simulator.
        self.assertEqual(names, ["fonts-wine", "libc6", "libgcc-s1", "libstdc++6", "wine", "wine64"])
        self.assertEqual(run(["dpkg-deb", "-f", deb, "Recommends"]).strip(), "zenity")

        # The simulator is the optimised build, not the sanitizer build the tests use.
        needed = run(["readelf", "-d", self.path("usr", "lib", "kivo", "kivo-devsim")])
        self.assertNotIn("libasan", needed)
        self.assertNotIn("libubsan", needed)

    def test_icons_are_the_programs_icon(self):
        with Image.open(os.path.join(SOURCE, "resources", "kivo.ico")) as ico:
            for size in ICON_SIZES:
                with self.subTest(size), Image.open(self.path("usr", "share", "icons", "hicolor",
                                                              "%dx%d" % (size, size), "apps", "kivo.png")) as png:
                    self.assertEqual(png.size, (size, size))
                    ico.size = (size, size)
                    self.assertEqual(png.convert("RGBA").tobytes(), ico.convert("RGBA").tobytes())

    def test_desktop_entry(self):
        entry = self.path("usr", "share", "applications", "kivo.desktop")
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout.strip()), (0, ""))
        with open(entry) as f:
            text = f.read()
        self.assertIn("Exec=kivo --dialogs\n", text)
        self.assertIn("Icon=kivo\n", text)
        self.assertIn("[Desktop Action simulator]\n", text)
        self.assertIn("Exec=kivo --dialogs --simulator\n", text)

    def test_metainfo(self):
        """Valid with the pedantic hints and no network; the releases are debian/changelog's, the next one's too."""
        root = os.path.join(self.work, "next")
        run(["dpkg-deb", "-x", os.path.join(self.next, DEB.replace(VERSION, NEXT_VERSION)), root])
        result = subprocess.run(["appstreamcli", "validate", "--pedantic", "--no-net", "--explain",
                                 os.path.join(root, METAINFO)], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with open(os.path.join(root, METAINFO)) as f:
            self.assertEqual(re.findall(r'<release version="([^"]+)"', f.read()), [NEXT_VERSION, VERSION])

    def test_signatures_of_another_release_are_refused(self):
        result = subprocess.run([sys.executable, SOURCE + "/scripts/lib/apt_repository.py", self.work + "/refused",
                                 self.next + "/" + DEB.replace(VERSION, NEXT_VERSION), "--attach-signatures", self.first],
                                capture_output=True, text=True, env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
        self.assertEqual((result.returncode, result.stderr[:61]), (1, "release: error: InRelease signs another Release than this one"))

    def test_installed_launcher_finds_its_pieces(self):
        # Unpacked anywhere, bin/kivo finds lib/kivo beside it, and with no
        # adapter mapped says how to map one.
        home = os.path.join(self.work, "home")
        os.makedirs(home, exist_ok=True)
        result = subprocess.run([self.path("usr", "bin", "kivo")], capture_output=True, text=True,
                                env={"PATH": "/usr/bin:/bin", "HOME": home})
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertRegex(result.stderr, r"^kivo: error: COM11 is not mapped .*kivo --device.*kivo --simulator")
        usage = run([self.path("usr", "bin", "kivo"), "--help"])
        self.assertIn("--simulator", usage)
        self.assertEqual(run([self.path("usr", "bin", "kivo"), "--version"]), "kivo %s\n" % VERSION)

    def test_signed_release_verifies(self):
        for name in "Kivo.exe", MSI.replace(VERSION, NEXT_VERSION):
            with self.subTest(name):
                result = subprocess.run(["osslsigncode", "verify", "-CAfile", self.certificate,
                                         "-in", os.path.join(self.next, name)], capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with zipfile.ZipFile(os.path.join(self.next, ZIP.replace(VERSION, NEXT_VERSION))) as z, \
                open(os.path.join(self.next, "Kivo.exe"), "rb") as signed:
            self.assertTrue(z.read("Kivo.exe") == signed.read(), "the zip carries the signed program")

    def test_installer_under_wine(self):
        """In a fresh prefix, with Wine's menu builder off as scripts/lib/wine
        has it (it would write menu entries into our own desktop): a silent install, the same again, the
        upgrade, a refused downgrade, and an uninstall that leaves nothing."""
        self.assertTrue(os.path.exists(INSPECTOR), "the inspector is not built: %s (run scripts/build)" % INSPECTOR)
        prefix = os.path.join(self.work, "wine-prefix")
        env = dict(os.environ, WINEPREFIX=prefix, KIVO_INSPECTOR=INSPECTOR)
        os.makedirs(prefix)
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        self.assertEqual(harness.run_wine(["wineboot", "-i"], env, timeout=120)[0], 0)
        before = wine_state(prefix, env)
        first, upgrade = os.path.join(self.first, MSI), os.path.join(self.next, MSI.replace(VERSION, NEXT_VERSION))
        msiexec = lambda *arguments: harness.run_wine(["msiexec"] + list(arguments) + ["/qn"], env)[0]  # noqa: E731

        self.assertEqual(msiexec("/i", first), 0)
        program, = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local", "Programs", "Kivo", "Kivo.exe"))
        self.assertTrue(filecmp.cmp(program, os.path.join(self.first, "Kivo.exe"), shallow=False))
        with open(os.path.join(os.path.dirname(program), "LICENSE.txt")) as licence:
            self.assertIn("MIT License", licence.read())
        with open(program.split("/AppData/")[0] + "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/"
                  "Kivo Tally Station.lnk", "rb") as shortcut:
            self.assertIn(("C:" + program.split("/drive_c")[1]).replace("/", "\\").lower().encode(), shortcut.read().lower())
        icon = re.search(r"ProductIcon +REG_SZ +C:([^\r\n]*)", harness.run_wine(
            ["reg", "query", r"HKCU\Software\Microsoft\Installer\Products", "/s"], env)[1]).group(1).replace("\\", "/")
        self.assertTrue(filecmp.cmp(prefix + "/drive_c" + icon, SOURCE + "/resources/kivo.ico", shallow=False), "the icon in Apps")
        panel = subprocess.Popen(harness.WINE + [program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            harness.wait_until(lambda: [p for p in harness.inspect(env)["panels"] if len(p["controls"]) >= 16],
                               30, "the installed program's panel")
        finally:
            panel.kill()
            panel.wait()
        self.assertEqual(msiexec("/i", first), 0, "the same version again changes nothing")
        self.assertEqual(products(env), [[VERSION, "Kivo Instruments Group"]])

        self.assertEqual(msiexec("/i", upgrade), 0)
        self.assertEqual(products(env), [[NEXT_VERSION, "Kivo Instruments Group"]])
        self.assertTrue(filecmp.cmp(program, os.path.join(self.next, "Kivo.exe"), shallow=False), "the signed program")
        # ERROR_INSTALL_FAILURE, cut to the eight bits of a Unix exit status.
        self.assertEqual(msiexec("/i", first), 1603 % 256, "the older version refuses")
        self.assertEqual(products(env), [[NEXT_VERSION, "Kivo Instruments Group"]])
        self.assertEqual(msiexec("/x", upgrade), 0)
        self.assertEqual({p for p in wine_state(prefix, env) - before if not INSTALLER_RECORDS.search(p)}, set())


if __name__ == "__main__":
    unittest.main()
