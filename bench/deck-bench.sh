#!/bin/bash
# The deck tool's figures, each against a peer measured in the same run on the same file:
#   import_mb_s, import_ratio      import of a 1,048,576-card UTF-8 TSV, against
#                                  `iconv -f UTF-8 -t UTF-16LE` of the same file (ratio =
#                                  iconv's time / import's time; target >= 0.5)
#   import_csv_ratio               the same for the same cards as a CSV that quotes every
#                                  field (with a comma and doubled quotes in each question):
#                                  the CSV reader's path (target >= 0.5)
#   check_ratio                    check of the imported 1M-card UTF-16 deck, against `wc -l`
#                                  of the same file (target >= 0.5)
#   import_peak_rss_mib, check_peak_rss_mib   peak resident memory of the tool (GNU time)
#   due_import_ms, due_ratio       import --due of a generated Anki collection of 100,000 notes
#                                  and 200,000 cards, against the sqlite3 shell reading the same
#                                  collection's notes and cards tables (ratio = sqlite3's time /
#                                  ours; target >= 0.5); due_peak_rss_mib (target <= 64)
#   held_lock_ms, held_lock_ratio  import --anki-profile --due of the same collection in a
#                                  profile while another program holds it as Anki does (the
#                                  newest backup is read; target < 1 s), against the same import
#                                  with the collection free (ratio = free time / held time)
#   package_import_ms, package_ratio   import of a generated package of 100,000 notes of a note
#                                  type of its own (10 fields, its templates with sections and
#                                  filters: every card is rendered), against what any reader of
#                                  the package must do at least: `unzip -p` of its collection to
#                                  a file in the bench's folder, then the sqlite3 shell reading
#                                  that file's notes table, the two timed together as one run
#                                  (package_peer_ms; ratio = the peer's time / ours; target
#                                  >= 0.5); package_peak_rss_mib
#   package_unzip_ms, sqlite3_notes_ms   the peer's two steps, each timed alone: where its time
#                                  goes, and the decompression the import cannot skip either
#   hostile_peak_rss_mib           peak resident memory of importing a package of one note with
#                                  a 50 MB field, whose template is 10 MB (target <= 8 x 50 MB
#                                  + 64 MiB = 464 MiB), against hostile_peer_peak_rss_mib: the
#                                  sqlite3 shell reading that collection's notes table
#                                  (hostile_rss_ratio = ours / the peer's)
#   package_import_before_ms, package_import_change   with TOLLAMY_BENCH_BEFORE=OLD-TOOL in the
#                                  environment, the same package import by OLD-TOOL in the same
#                                  run (change = our time / OLD-TOOL's: above 1 is slower), and
#                                  package_before_decks_differ 1 when the two decks differ
#   wine_due_ms, wine_due_ratio, wine_import_ms, wine_import_ratio   with TOLLAMY-DECK-EXE given,
#                                  the Windows tool under Wine on the same --due collection and
#                                  the same package, against the Linux tool (ratio = Linux time
#                                  / Windows time; no target: they show what Wine costs, not
#                                  what Windows costs), and the decks they write compared
# Each time is the best of 3 runs. The files lie in /dev/shm where there is one, and so do the
# tool's private copies of collections (TMPDIR), so that both peers of a pair are measured on the
# CPU rather than on the disk (import syncs its output before the rename). Usage:
# [TOLLAMY_BENCH_BEFORE=OLD-TOLLAMY-DECK] bench/deck-bench.sh TOLLAMY-DECK [TOLLAMY-DECK-EXE]
set -euo pipefail
tool="$1"
windows_tool="${2:-}"
before_tool="${TOLLAMY_BENCH_BEFORE:-}"
if [ -n "$before_tool" ] && [ ! -x "$before_tool" ]; then
    echo "deck-bench.sh: TOLLAMY_BENCH_BEFORE=$before_tool is not a program" >&2
    exit 2
fi
tmp=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
work="$(mktemp -d "$tmp/deck-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
python3 - "$work/cards.tsv" "$work/cards.csv" <<'PY'
import sys
with open(sys.argv[1], "w", encoding="utf-8", newline="\n") as f, \
        open(sys.argv[2], "w", encoding="utf-8", newline="\n") as g:
    for i in range(1048576):
        question = f"Question {i}: what is the capital of country n\u00b0{i % 997}?"
        answer = f"City {i} on the river {i % 89}"
        f.write(f"{question}\t{answer}\n")
        g.write(f'"{question}, or ""{i}""?","{answer}"\n')
PY
now() { date +%s%N; }
# best_of3 VAR COMMAND...: the best wall time in seconds of three runs into $VAR.
best_of3() {
    local var="$1" best="" t0 t1 run
    shift
    for run in 1 2 3; do
        t0=$(now)
        "$@"
        t1=$(now)
        if [ -z "$best" ] || [ $((t1 - t0)) -lt "$best" ]; then best=$((t1 - t0)); fi
    done
    printf -v "$var" '%s' "$(awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }')"
}
# peak_rss_mib COMMAND...: the peak resident memory of one run, in MiB.
peak_rss_mib() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
    awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
# print_ms NAME SECONDS: "NAME milliseconds". print_ratio NAME PEER OURS: "NAME PEER/OURS".
print_ms() { awk -v s="$2" -v n="$1" 'BEGIN { printf "%s %.1f\n", n, s * 1000 }'; }
print_ratio() { awk -v p="$2" -v s="$3" -v n="$1" 'BEGIN { printf "%s %.2f\n", n, p / s }'; }
# deck_cards DECK: the number of cards that check counts in DECK.
deck_cards() { "$tool" check "$1" 2>/dev/null | awk '{ print $1 }'; }
tsv_bytes=$(stat -c %s "$work/cards.tsv")

run_iconv() { iconv -f UTF-8 -t UTF-16LE "$work/cards.tsv" >"$work/iconv.out"; }
run_import() { "$tool" import "$work/cards.tsv" -o "$work/deck.txt" --force 2>/dev/null; }
run_iconv_csv() { iconv -f UTF-8 -t UTF-16LE "$work/cards.csv" >"$work/iconv.out"; }
run_import_csv() { "$tool" import "$work/cards.csv" -o "$work/csv-deck.txt" --force 2>/dev/null; }
run_wc() { wc -l "$work/deck.txt" >/dev/null; }
run_check() { "$tool" check "$work/deck.txt" >/dev/null 2>&1; }

best_of3 iconv_s run_iconv
best_of3 import_s run_import
best_of3 iconv_csv_s run_iconv_csv
best_of3 import_csv_s run_import_csv
cards=$(deck_cards "$work/deck.txt")
best_of3 wc_s run_wc
best_of3 check_s run_check
import_rss=$(peak_rss_mib "$tool" import "$work/cards.tsv" -o "$work/deck.txt" --force)
check_rss=$(peak_rss_mib "$tool" check "$work/deck.txt")

awk -v b="$tsv_bytes" -v s="$import_s" 'BEGIN { printf "import_mb_s %.1f\n", b / s / 1e6 }'
echo "import_cards $cards"
echo "iconv_s $iconv_s"
echo "import_s $import_s"
print_ratio import_ratio "$iconv_s" "$import_s"
echo "iconv_csv_s $iconv_csv_s"
echo "import_csv_s $import_csv_s"
print_ratio import_csv_ratio "$iconv_csv_s" "$import_csv_s"
echo "wc_s $wc_s"
echo "check_s $check_s"
print_ratio check_ratio "$wc_s" "$check_s"
echo "import_peak_rss_mib $import_rss"
echo "check_peak_rss_mib $check_rss"

# The tables of a collection in the older schema, as both generated collections have them.
export BENCH_COLLECTION_TABLES="
PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;
CREATE TABLE col (id integer PRIMARY KEY, crt integer NOT NULL, mod integer NOT NULL,
  scm integer NOT NULL, ver integer NOT NULL, dty integer NOT NULL, usn integer NOT NULL,
  ls integer NOT NULL, conf text NOT NULL, models text NOT NULL, decks text NOT NULL,
  dconf text NOT NULL, tags text NOT NULL);
CREATE TABLE notes (id integer PRIMARY KEY, guid text NOT NULL, mid integer NOT NULL,
  mod integer NOT NULL, usn integer NOT NULL, tags text NOT NULL, flds text NOT NULL,
  sfld integer NOT NULL, csum integer NOT NULL, flags integer NOT NULL, data text NOT NULL);
CREATE TABLE cards (id integer PRIMARY KEY, nid integer NOT NULL, did integer NOT NULL,
  ord integer NOT NULL, mod integer NOT NULL, usn integer NOT NULL, type integer NOT NULL,
  queue integer NOT NULL, due integer NOT NULL, ivl integer NOT NULL, factor integer NOT NULL,
  reps integer NOT NULL, lapses integer NOT NULL, left integer NOT NULL, odue integer NOT NULL,
  odid integer NOT NULL, flags integer NOT NULL, data text NOT NULL);
CREATE INDEX ix_cards_nid ON cards (nid);
"

# An Anki collection in the older schema: 100,000 "Basic (and reversed card)" notes in 20 decks,
# 200,000 cards: 40 % new, 55 % reviews due from 20 days ago to 300 days ahead, 5 % learning.
python3 - "$work/collection.anki2" <<'PY'
import json, os, random, sqlite3, sys
random.seed(22)
db = sqlite3.connect(sys.argv[1])
db.executescript(os.environ["BENCH_COLLECTION_TABLES"])
crt, now, today = 1600000000, 1773223200, (1773223200 - 1600000000) // 86400
model = {"id": 1002, "name": "Basic (and reversed card)", "type": 0,
         "flds": [{"name": "Front", "ord": 0}, {"name": "Back", "ord": 1}],
         "tmpls": [{"ord": 0, "qfmt": "{{Front}}", "afmt": "{{FrontSide}}<hr id=answer>{{Back}}"},
                   {"ord": 1, "qfmt": "{{Back}}", "afmt": "{{FrontSide}}<hr id=answer>{{Front}}"}]}
decks = {str(d): {"id": d, "name": "Languages::Deck %d" % d, "dyn": 0} for d in range(2, 22)}
decks["1"] = {"id": 1, "name": "Languages", "dyn": 0}
conf = {"rollover": 4, "creationOffset": -120, "schedVer": 2, "collapseTime": 1200}
db.execute("INSERT INTO col VALUES (1, ?, 0, 0, 11, 0, 0, 0, ?, ?, ?, '{}', '{}')",
           (crt, json.dumps(conf), json.dumps({"1002": model}), json.dumps(decks)))
notes, cards = [], []
for n in range(100000):
    front = "Question %d: what does word %d of lesson %d mean?" % (n, n % 997, n % 89)
    back = "Answer %d, <b>meaning</b> %d &amp; more" % (n, n % 991)
    notes.append((n + 1, "g%d" % n, 1002, 0, 0, "", front + "\x1f" + back, front, 0, 0, ""))
    for ord in (0, 1):
        r = random.random()
        if r < 0.40:
            t, q, due = 0, 0, n
        elif r < 0.95:
            t, q, due = 2, 2, today + random.randint(-20, 300)
        else:
            t, q, due = 1, 1, now + random.randint(-3600, 3600)
        cards.append((2 * n + ord + 1, n + 1, 2 + n % 20, ord, 0, 0, t, q, due, 0, 0, 0, 0, 0,
                      0, 0, 0, ""))
db.executemany("INSERT INTO notes VALUES (?,?,?,?,?,?,?,?,?,?,?)", notes)
db.executemany("INSERT INTO cards VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", cards)
db.commit()
PY
export TOLLAMY_NOW=1773223200
run_sqlite() { sqlite3 -readonly "$work/collection.anki2" 'SELECT * FROM notes; SELECT * FROM cards;' >/dev/null; }
# The deck is removed first, so that every run writes it (an unchanged deck is left alone).
run_due() {
    rm -f "$work/due.txt"
    "$tool" import "$work/collection.anki2" --due -o "$work/due.txt" 2>/dev/null
}
best_of3 sqlite_s run_sqlite
best_of3 due_s run_due
rm -f "$work/due.txt"
due_rss=$(peak_rss_mib "$tool" import "$work/collection.anki2" --due -o "$work/due.txt")
due_cards=$(deck_cards "$work/due.txt")
echo "due_cards $due_cards"
print_ms sqlite3_ms "$sqlite_s"
print_ms due_import_ms "$due_s"
print_ratio due_ratio "$sqlite_s" "$due_s"
echo "due_peak_rss_mib $due_rss"

# The same collection as Anki's profile "User" (in WAL mode, as Anki keeps it) with a backup of
# it, read by import --anki-profile --due once while a program holds the collection as Anki does
# (exclusive locking mode: the tool waits briefly for the lock, then reads the newest backup),
# and once while nothing holds it (the tool reads the collection itself).
profile="$work/anki/User"
mkdir -p "$profile/backups"
python3 - "$work/collection.anki2" "$profile" <<'PY'
import shutil, sqlite3, sys, zipfile
source, profile = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(profile + "/backups/backup-2026-03-11-10.00.00.colpkg", "w",
                     zipfile.ZIP_DEFLATED) as z:
    z.write(source, "collection.anki2")
shutil.copy(source, profile + "/collection.anki2")
db = sqlite3.connect(profile + "/collection.anki2")
db.execute("PRAGMA journal_mode=WAL")
db.close()
PY
run_profile() {
    rm -f "$work/profile.txt"
    ANKI_BASE="$work/anki" "$tool" import --anki-profile User --due -o "$work/profile.txt" \
        2>/dev/null
}
best_of3 profile_free_s run_profile
coproc holder {
    python3 -c '
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA locking_mode=EXCLUSIVE")
db.execute("SELECT count(*) FROM col").fetchall()
print("held", flush=True)
sys.stdin.read()
' "$profile/collection.anki2"
}
read -r held <&"${holder[0]}"
[ "$held" = held ] || { echo "deck-bench.sh: the collection could not be held" >&2; exit 1; }
best_of3 profile_held_s run_profile
eval "exec ${holder[1]}>&-"
wait "$holder_PID"
print_ms held_lock_ms "$profile_held_s"
print_ratio held_lock_ratio "$profile_free_s" "$profile_held_s"

# A package of 100,000 notes of a vocabulary note type of 10 fields, whose templates use
# sections, hints, furigana, the text filter, a hidden element and sounds: about 300 bytes of
# fields a note, as the notes of the published decks have (25 to 400, Lapis's far more).
python3 - "$work/package.anki2" "$work/package.apkg" <<'PY'
import json, os, sqlite3, sys, zipfile
db = sqlite3.connect(sys.argv[1])
db.executescript(os.environ["BENCH_COLLECTION_TABLES"])
names = ["Word", "Reading", "Meaning", "Example", "Translation", "Notes", "Hint", "Audio",
         "Picture", "Level"]
model = {"id": 3001, "name": "Vocabulary", "type": 0,
         "flds": [{"name": n, "ord": i} for i, n in enumerate(names)],
         "tmpls": [{"name": "Recognition", "ord": 0,
                    "qfmt": "<div class=word>{{Word}}</div>{{#Hint}}<div class=hint>"
                            "{{hint:Hint}}</div>{{/Hint}}",
                    "afmt": "{{FrontSide}}<hr id=answer><div class=reading>{{furigana:Reading}}"
                            "</div><div>{{Meaning}}</div>{{#Example}}<div class=ex>{{Example}}"
                            "<br>{{text:Translation}}</div>{{/Example}}{{^Example}}<i>no "
                            "example</i>{{/Example}}{{#Notes}}<div class=notes>{{Notes}}</div>"
                            "{{/Notes}}<div style=\"display: none\">{{Picture}}</div>{{Audio}} "
                            "<span class=level>{{Level}}</span>"}]}
decks = {"1": {"id": 1, "name": "Vocabulary", "dyn": 0}}
db.execute("INSERT INTO col VALUES (1, 1600000000, 0, 0, 11, 0, 0, 0, '{}', ?, ?, '{}', '{}')",
           (json.dumps({"3001": model}), json.dumps(decks)))
notes, cards = [], []
for n in range(100000):
    f = ["word %d" % n, "\u8a9e[\u3054]%d \u5f59[\u3044]" % (n % 97),
         "meaning %d of the word, <b>in bold</b> &amp; more" % n,
         ("an example sentence number %d with <i>words</i> in it" % n) if n % 3 else "",
         "the translation of example %d &lt;quoted&gt;" % n,
         ("a note %d<br>on two lines" % n) if n % 5 == 0 else "",
         ("hint %d" % n) if n % 2 else "", "[sound:w%d.mp3]" % n, "<img src=\"p%d.jpg\">" % n,
         "N%d" % (n % 5 + 1)]
    notes.append((n + 1, "g%d" % n, 3001, 0, 0, " level%d " % (n % 5), "\x1f".join(f), f[0], 0,
                  0, ""))
    cards.append((n + 1, n + 1, 1, 0, 0, 0, 0, 0, n, 0, 0, 0, 0, 0, 0, 0, 0, ""))
db.executemany("INSERT INTO notes VALUES (?,?,?,?,?,?,?,?,?,?,?)", notes)
db.executemany("INSERT INTO cards VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", cards)
db.commit()
db.close()
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[1], "collection.anki2")
    z.writestr("media", "{}")
PY
# The peer: the collection unzipped to a file beside the package (in /dev/shm where there is
# one), then the notes read from it, as a reader of the package has to; the file is replaced
# on each run. Its two steps are also timed alone.
run_unzip() { unzip -p "$work/package.apkg" collection.anki2 >"$work/peer.anki2"; }
run_sqlite_notes() { sqlite3 -readonly "$work/peer.anki2" 'SELECT * FROM notes;' >/dev/null; }
run_peer() { run_unzip && run_sqlite_notes; }
run_package() { "$tool" import "$work/package.apkg" -o "$work/package.txt" --force 2>/dev/null; }
run_package_before() {
    "$before_tool" import "$work/package.apkg" -o "$work/package-before.txt" --force 2>/dev/null
}
best_of3 peer_s run_peer
best_of3 package_s run_package
[ -z "$before_tool" ] || best_of3 package_before_s run_package_before
best_of3 unzip_s run_unzip
best_of3 sqlite_notes_s run_sqlite_notes
package_rss=$(peak_rss_mib "$tool" import "$work/package.apkg" -o "$work/package.txt" --force)
package_cards=$(deck_cards "$work/package.txt")
echo "package_cards $package_cards"
print_ms package_peer_ms "$peer_s"
print_ms package_import_ms "$package_s"
print_ratio package_ratio "$peer_s" "$package_s"
echo "package_peak_rss_mib $package_rss"
print_ms package_unzip_ms "$unzip_s"
print_ms sqlite3_notes_ms "$sqlite_notes_s"
if [ -n "$before_tool" ]; then
    print_ms package_import_before_ms "$package_before_s"
    print_ratio package_import_change "$package_s" "$package_before_s"
    cmp -s "$work/package.txt" "$work/package-before.txt" || echo "package_before_decks_differ 1"
fi

# One note of a 50 MB field, whose note type's front template is 10 MB of text around the
# field: the largest input within the limits on one field and one template.
python3 - "$work/hostile.anki2" "$work/hostile.apkg" <<'PY'
import json, os, sqlite3, sys, zipfile
db = sqlite3.connect(sys.argv[1])
db.executescript(os.environ["BENCH_COLLECTION_TABLES"])
block = "<div class=part>template text</div>\n"
model = {"id": 3002, "name": "Large", "type": 0,
         "flds": [{"name": "Front", "ord": 0}, {"name": "Back", "ord": 1}],
         "tmpls": [{"name": "Card 1", "ord": 0,
                    "qfmt": block * (10000000 // len(block)) + "{{Front}}",
                    "afmt": "{{FrontSide}}<hr id=answer>{{Back}}"}]}
decks = {"1": {"id": 1, "name": "Large", "dyn": 0}}
db.execute("INSERT INTO col VALUES (1, 1600000000, 0, 0, 11, 0, 0, 0, '{}', ?, ?, '{}', '{}')",
           (json.dumps({"3002": model}), json.dumps(decks)))
word = "word <b>bold</b> &amp; "
front = word * (50000000 // len(word))
db.execute("INSERT INTO notes VALUES (1, 'g', 3002, 0, 0, '', ?, '', 0, 0, '')",
           (front + "\x1fback",))
db.execute("INSERT INTO cards VALUES (1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '')")
db.commit()
db.close()
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[1], "collection.anki2")
    z.writestr("media", "{}")
PY
hostile_rss=$(peak_rss_mib "$tool" import "$work/hostile.apkg" -o "$work/hostile.txt" --force)
hostile_peer_rss=$(peak_rss_mib sqlite3 -readonly "$work/hostile.anki2" 'SELECT * FROM notes;')
echo "hostile_peak_rss_mib $hostile_rss"
echo "hostile_peer_peak_rss_mib $hostile_peer_rss"
print_ratio hostile_rss_ratio "$hostile_rss" "$hostile_peer_rss"

# The Windows tool under Wine (scripts/wine-exec: a persistent server for the build's prefix, so
# that no run pays for the server's start) on the same two inputs, with the same clock.
if [ -n "$windows_tool" ]; then
    wine_exec="$(cd "$(dirname "$0")/.." && pwd)/scripts/wine-exec"
    run_wine_due() {
        rm -f "$work/wine-due.txt"
        "$wine_exec" "$windows_tool" import "$work/collection.anki2" --due -o "$work/wine-due.txt" \
            </dev/null >/dev/null 2>&1
    }
    run_wine_package() {
        "$wine_exec" "$windows_tool" import "$work/package.apkg" -o "$work/wine-package.txt" \
            --force </dev/null >/dev/null 2>&1
    }
    run_wine_due # the server and Wine's services started once, outside the timing
    best_of3 wine_due_s run_wine_due
    best_of3 wine_package_s run_wine_package
    cmp -s "$work/due.txt" "$work/wine-due.txt" && cmp -s "$work/package.txt" "$work/wine-package.txt" ||
        echo "wine_decks_differ 1"
    print_ms wine_due_ms "$wine_due_s"
    print_ratio wine_due_ratio "$due_s" "$wine_due_s"
    print_ms wine_import_ms "$wine_package_s"
    print_ratio wine_import_ratio "$package_s" "$wine_package_s"
fi
