"""Writes the AppStream metainfo of packaging/kivo.metainfo.xml into FOLDER as
ID.metainfo.xml, with a release for each version in debian/changelog, newest
first, its entry's items as the release's notes.

usage: metainfo.py FOLDER"""
import datetime
import os
import re
import subprocess
import sys
from xml.sax.saxutils import escape

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def releases():
    text = subprocess.run(["dpkg-parsechangelog", "-l", os.path.join(SOURCE, "debian", "changelog"), "--all",
                           "--format", "rfc822"], check=True, capture_output=True, text=True).stdout
    seen, lines = set(), []
    for entry in text.strip().split("\n\n"):
        fields = dict(re.findall(r"^(\w+): (.*)$", entry, re.MULTILINE))
        version = fields["Version"].rsplit("-", 1)[0]
        if version in seen:  # a new Debian revision of the same version: the newest has the notes
            continue
        seen.add(version)
        date = datetime.datetime.fromtimestamp(int(fields["Timestamp"]), datetime.timezone.utc).date()
        # The entry's items: "  * " opens one, deeper lines carry it on.
        changes = entry.split("\nChanges:\n", 1)[1].splitlines()[2:]
        items = re.split(r"\n *\* ", "\n" + "\n".join(line[1:] for line in changes if line.strip(" .")))[1:]
        notes = "".join("<p>%s</p>" % escape(" ".join(item.split())) for item in items)
        lines.append('    <release version="%s" date="%s"><description>%s</description></release>'
                     % (escape(version), date, notes))
    return "<releases>\n%s\n  </releases>" % "\n".join(lines)


def main():
    with open(os.path.join(SOURCE, "packaging", "kivo.metainfo.xml")) as f:
        template = f.read()
    identity = re.search(r"<id>([^<]+)</id>", template).group(1)
    os.makedirs(sys.argv[1], exist_ok=True)
    with open(os.path.join(sys.argv[1], identity + ".metainfo.xml"), "w") as f:
        f.write(template.replace("<releases/>", releases()))


if __name__ == "__main__":
    main()
