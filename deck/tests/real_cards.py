"""The measure of deck/tests/real-cards.sh: which Anki cards a deck shows as Anki shows them.

It reads each template on its own terms: the template language (sections, filters, special
fields) as Anki's manual describes it, and the HTML through Python's html.parser with the
elements a browser does not show. Each field that a template puts on a side becomes a marker in
the rendered HTML; the markers that survive as visible text are the fields that side shows.
"""
import csv, datetime, html, html.parser, json, os, re, shutil, sqlite3, subprocess, sys
import unicodedata, zipfile

tool, before, show, decks_dir, collections_dir, work = sys.argv[1:]
show = int(show)

# --- the collection -----------------------------------------------------------------------

def varint(b, i):
    r = s = 0
    while True:
        c = b[i]; i += 1; r |= (c & 0x7F) << s; s += 7
        if c < 0x80:
            return r, i

def proto(b):
    i, out = 0, {}
    while i < len(b):
        k, i = varint(b, i)
        t = k & 7
        if t == 0:
            v, i = varint(b, i)
        elif t == 2:
            n, i = varint(b, i); v = bytes(b[i:i + n]); i += n
        elif t == 1:
            v = b[i:i + 8]; i += 8
        elif t == 5:
            v = b[i:i + 4]; i += 4
        else:
            break
        out.setdefault(k >> 3, []).append(v)
    return out

def open_db(path):
    db = sqlite3.connect(path)
    db.create_collation("unicase", lambda a, b: (a.lower() > b.lower()) - (a.lower() < b.lower()))
    return db

def load(db):
    tables = {r[0] for r in db.execute("SELECT name FROM sqlite_master WHERE type='table'")}
    types, decks, conf = {}, {}, {}
    if "notetypes" in tables and db.execute("SELECT count(*) FROM notetypes").fetchone()[0]:
        for tid, name, cfg in db.execute("SELECT id, name, config FROM notetypes"):
            types[tid] = {"name": name, "cloze": proto(cfg).get(1, [0])[0] == 1,
                          "fields": [], "tmpls": []}
        for tid, _, name in db.execute("SELECT ntid, ord, name FROM fields ORDER BY ntid, ord"):
            if tid in types:
                types[tid]["fields"].append(name)
        for tid, _, name, cfg in db.execute(
                "SELECT ntid, ord, name, config FROM templates ORDER BY ntid, ord"):
            if tid in types:
                p = proto(cfg)
                types[tid]["tmpls"].append({"name": name,
                                            "q": p.get(1, [b""])[0].decode("utf-8", "replace"),
                                            "a": p.get(2, [b""])[0].decode("utf-8", "replace")})
        for did, name in db.execute("SELECT id, name FROM decks"):
            decks[did] = name.replace("\x1f", "::")
    else:
        models, deck_json = db.execute("SELECT models, decks FROM col").fetchone()
        for m in json.loads(models).values():
            types[int(m["id"])] = {
                "name": m["name"], "cloze": m.get("type") == 1,
                "fields": [f["name"] for f in sorted(m["flds"], key=lambda f: f["ord"])],
                "tmpls": [{"name": t["name"], "q": t["qfmt"], "a": t["afmt"]}
                          for t in sorted(m["tmpls"], key=lambda t: t["ord"])]}
        for d in json.loads(deck_json).values():
            decks[int(d["id"])] = d["name"]
    crt, conf_text = db.execute("SELECT crt, conf FROM col").fetchone()
    if "config" in tables:
        for key, val in db.execute("SELECT KEY, val FROM config"):
            try:
                conf[key] = json.loads(val)
            except ValueError:
                pass
    else:
        conf = json.loads(conf_text or "{}")
    return types, decks, crt, conf

# --- the schedule: the due cards at a moment -------------------------------------------------

def due_cards(db, crt, conf, now, offset):
    """Cards due at `now` on a clock `offset` seconds east of UTC, by Anki's rules."""
    rollover = conf.get("rollover", 4) % 24
    local_day = (now + offset) // 86400
    roll = local_day * 86400 + rollover * 3600 - offset
    version = 1 if conf.get("schedVer", 1) == 1 else 2
    if version == 1:
        today = int((now - crt) / 86400)
    elif isinstance(conf.get("creationOffset"), int):
        created_day = (crt - 60 * conf["creationOffset"]) // 86400
        today = local_day - created_day - (0 if roll <= now else 1)
    else:
        created_day = (crt + offset) // 86400
        today = int((now - (created_day * 86400 + rollover * 3600 - offset)) / 86400)
    today = max(today, 0)
    ahead = conf.get("collapseTime", 1200)
    out = []
    for cid, nid, did, ord_, ctype, queue, due, odue, odid, flags in db.execute(
            "SELECT id, nid, did, ord, type, queue, due, odue, odid, flags FROM cards"):
        if odid:
            did = odid
            due = odue or due
            if queue >= 0:
                queue = {0: 0, 1: 1 if due > 1000000000 else 3, 2: 2,
                         3: 1 if due > 1000000000 else 3}.get(ctype, queue)
        if (queue in (1, 4) and due < now + ahead) or (queue in (2, 3) and due <= today):
            out.append({"id": cid, "nid": nid, "deck": did, "ord": ord_, "flags": flags})
    return out

# --- what HTML shows ---------------------------------------------------------------------

MARK = re.compile("\ue000(\\d+)\ue001")
HIDING = {"script", "style", "template", "button", "select", "textarea", "audio", "video",
          "svg", "canvas", "object", "title", "noscript", "iframe", "rp", "head"}
VOID = {"br", "hr", "img", "input", "meta", "link", "source", "wbr", "col", "area", "embed",
        "param", "track", "keygen", "base"}

def style_hides(style):
    decl = {}
    for part in (style or "").split(";"):
        if ":" in part:
            k, v = part.split(":", 1)
            decl[k.strip().lower()] = v.split("!")[0].strip().lower()
    return decl.get("display") == "none" or decl.get("visibility") in ("hidden", "collapse")

class Visible(html.parser.HTMLParser):
    """The text a browser shows, and where the element with id="answer" is."""
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.text, self.answer_at = [], [], None

    def hidden(self):
        return any(h for _, h in self.stack)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        parent_closed = bool(self.stack) and self.stack[-1][0] == "details-closed"
        hide = bool(tag in HIDING or "hidden" in a or style_hides(a.get("style"))
                or (parent_closed and tag != "summary"))
        if a.get("id") == "answer" and not self.hidden() and self.answer_at is None:
            self.answer_at = len(self.text)
        if tag in VOID:
            if tag in ("br", "hr") and not self.hidden():
                self.text.append(" ")
            return
        if tag == "details" and "open" not in a:
            tag = "details-closed"
        self.stack.append((tag, hide))
        if not self.hidden():
            self.text.append(" ")

    def handle_endtag(self, tag):
        for i in range(len(self.stack) - 1, -1, -1):
            name = self.stack[i][0]
            if name == tag or (tag == "details" and name == "details-closed"):
                del self.stack[i:]
                break
        if not self.hidden():
            self.text.append(" ")

    def handle_data(self, data):
        if not self.hidden() and not (self.stack and self.stack[-1][0] == "details-closed"):
            self.text.append(data)

def visible(html_text):
    p = Visible()
    p.feed(html_text)
    p.close()
    text = "".join(p.text)
    cut = None if p.answer_at is None else len("".join(p.text[:p.answer_at]))
    return text, cut

def plain(html_text):
    text = visible(html_text)[0]
    text = re.sub(r"\[sound:[^\]]*\]", " ", text)
    for marker in ("[latex]", "[/latex]", "[$$]", "[/$$]", "[$]", "[/$]", "\\(", "\\)",
                   "\\[", "\\]"):
        text = re.sub(re.escape(marker), " ", text, flags=re.I)
    return text

def norm(text):
    return "".join(c for c in unicodedata.normalize("NFC", text).casefold()
                   if unicodedata.category(c)[0] in "LN")

# --- the template language ----------------------------------------------------------------

CLOZE = re.compile(r"\{\{c(\d+)::(.*?)(?:::(.*?))?\}\}", re.S)

def cloze(text, n, question):
    found = [False]
    def one(m):
        if int(m.group(1)) != n:
            return m.group(2)
        found[0] = True
        return ("[" + (m.group(3) or "...") + "]") if question else m.group(2)
    out = CLOZE.sub(one, text)
    return out if found[0] else ""

def gaps(text, n):
    return [m.group(2) for m in CLOZE.finditer(text) if int(m.group(1)) == n]

RUBY = re.compile(r" ?([^ >]+?)\[(.+?)\]")

def ruby(text, part):
    def one(m):
        if m.group(2).startswith("sound:"):
            return m.group(0)
        return {"base": m.group(1), "reading": m.group(2),
                "both": m.group(1) + m.group(2)}[part]
    return RUBY.sub(one, text.replace("&nbsp;", " "))

def empty(value):
    return re.fullmatch(r"(?:\s|</?(?:br|div) ?/?>)*", value, re.I) is not None

def parse(tmpl):
    """The template as nested lists: str, ("f", name, filters), ("s", name, negated, body)."""
    root, stack = [], []
    cur = root
    pos = 0
    for m in re.finditer(r"<!--.*?-->|\{\{(.*?)\}\}", tmpl, re.S):
        cur.append(tmpl[pos:m.start()])
        pos = m.end()
        if m.group(1) is None:
            cur.append(m.group(0))
            continue
        tag = m.group(1).lstrip("{").strip()
        if len(tag) >= 2 and tag[0] in "#^":
            node = ("s", tag[1:].strip(), tag[0] == "^", [])
            cur.append(node); stack.append((cur, node[1])); cur = node[3]
        elif len(tag) >= 2 and tag[0] == "/":
            if not stack or stack[-1][1] != tag[1:].strip():
                return None
            cur = stack.pop()[0]
        else:
            parts = tag.split(":")
            cur.append(("f", parts[-1], list(reversed(parts[:-1]))))
    cur.append(tmpl[pos:])
    return None if stack else root

class Card:
    def __init__(self, ntype, fields, ord_, tags, deck, flags):
        self.t, self.ord = ntype, ord_
        names = ntype["fields"]
        self.fields = {n: (fields[i] if i < len(fields) else "") for i, n in enumerate(names)}
        self.special = {"Tags": tags.strip(), "Type": ntype["name"], "Deck": deck or "(Deck)",
                        "Subdeck": (deck or "(Deck)").split("::")[-1],
                        "CardFlag": f"flag{flags & 7}", f"c{ord_ + 1}": "1",
                        "Card": ntype["tmpls"][0 if ntype["cloze"] else ord_]["name"]}
        self.marks = []  # (field, fragment text for the side, typed)

    def value(self, name):
        return self.fields[name] if name in self.fields else self.special.get(name)

    def render(self, nodes, question, front=""):
        out = []
        for node in nodes:
            if isinstance(node, str):
                out.append(node)
            elif node[0] == "s":
                v = self.value(node[1])
                shown = (v is not None and not empty(v)) != node[2]
                if shown:
                    out.append(self.render(node[3], question, front))
            else:
                name, filters = node[1], node[2]
                if name == "FrontSide":
                    out.append(front if not question else "")
                    continue
                v = self.value(name)
                if v is None:
                    continue
                if name not in self.fields:
                    out.append(html.escape(v))  # a special field: template text
                    continue
                out.append(self.mark(name, v, filters, question))
        return "".join(out)

    def mark(self, name, v, filters, question):
        n = self.ord + 1
        typed = bool(filters) and filters[-1] == "type"
        if typed:
            # The box on the front, the right answer on the back: the front's box shows its
            # answer where the back shows the front.
            text = " ".join(gaps(v, n)) if filters[:1] == ["cloze"] else v
            self.marks.append((name, plain(text), True))
            return f"\ue000{len(self.marks) - 1}\ue001"
        for f in filters:
            if f == "cloze":
                v = cloze(v, n, question)
            elif f in ("cloze-only", "hint") or f.startswith("tts "):
                return ""
            elif f == "furigana":
                v = ruby(v, "both")
            elif f == "kana":
                v = ruby(v, "reading")
            elif f == "kanji":
                v = ruby(v, "base")
        self.marks.append((name, plain(v), False))
        return f"\ue000{len(self.marks) - 1}\ue001"

    def sides(self):
        """(question marks, answer marks, question literal, answer literal) or None."""
        tmpl = self.t["tmpls"][0 if self.t["cloze"] else self.ord]
        q_nodes, a_nodes = parse(tmpl["q"]), parse(tmpl["a"])
        if q_nodes is None or a_nodes is None:
            return None
        front = self.render(q_nodes, True)
        back = self.render(a_nodes, False, front)
        q_text, _ = visible(front)
        a_text, cut = visible(back)
        typed = {int(i) for i in MARK.findall(a_text) if self.marks[int(i)][2]}
        if cut is None:
            back = self.render(a_nodes, False, "")
            a_text, _ = visible(back)
        else:
            a_text = a_text[cut:]
        q_ids = [int(i) for i in MARK.findall(q_text) if not self.marks[int(i)][2]]
        a_ids = sorted({int(i) for i in MARK.findall(a_text)} | typed)
        return q_ids, a_ids, MARK.sub(" ", q_text), MARK.sub(" ", a_text)

def blank(card, q_nodes):
    if card.t["cloze"]:
        return not any(gaps(v, card.ord + 1) for v in card.fields.values())
    def walk(nodes):
        for node in nodes:
            if isinstance(node, str):
                continue
            v = card.value(node[1])
            nonempty = v is not None and not empty(v)
            if node[0] == "f" and node[1] != "FrontSide" and nonempty:
                return False
            if node[0] == "s" and nonempty != node[2] and not walk(node[3]):
                return False
        return True
    return walk(q_nodes)

# --- the measure ----------------------------------------------------------------------------

def expect(card):
    """What the card must show: None when the item leaves it out, else the two sides' rules."""
    tmpl = card.t["tmpls"][0 if card.t["cloze"] else card.ord]
    q_nodes = parse(tmpl["q"])
    if q_nodes is not None and blank(card, q_nodes):
        return None
    sides = card.sides()
    if sides is None:
        return None
    q_ids, a_ids, q_lit, a_lit = sides
    rules = []
    for ids, lit in ((q_ids, q_lit), (a_ids, a_lit)):
        shown = {card.marks[i][0] for i in ids}
        need = [norm(card.marks[i][1]) for i in ids if norm(card.marks[i][1])]
        allowed = norm(lit) + "".join(need)
        banned = []
        for name, value in card.fields.items():
            text = norm(plain(value))
            if name not in shown and len(text) >= 4 and text not in allowed:
                banned.append(text)
        rules.append((need, banned))
    if not norm(q_lit) and not rules[0][0]:
        return None  # nothing on the front that a person reads
    hidden_gaps = []
    if card.t["cloze"]:
        shown_text = "".join(rules[0][0]) + norm(q_lit)
        for v in card.fields.values():
            for g in gaps(v, card.ord + 1):
                g = norm(plain(g))
                if len(g) >= 3 and g not in shown_text:
                    hidden_gaps.append(g)
    return rules, hidden_gaps

def side_right(side, need, banned):
    cut, text = side
    for fragment in need:
        if fragment not in text and not (cut and (len(text) > 300 or fragment[:20] in text)):
            return False
    return not any(b in text for b in banned)

def right(line, rules, hidden_gaps):
    """Whether a line, its sides as (cut, normalized text), is right by the card's rules."""
    (qn, qb), (an, ab) = rules
    q, a = line
    return (side_right(q, qn, qb) and side_right(a, an, ab)
            and not any(g in q[1] for g in hidden_gaps))

# --- the runs -------------------------------------------------------------------------------

def read_deck(path):
    data = open(path, "rb").read().decode("utf-16-le", "replace").lstrip("\ufeff")
    return [tuple((l.split("\t") + [""])[:2]) for l in data.split("\r\n") if l]

def run_tool(binary, args, env):
    r = subprocess.run([binary] + args, capture_output=True, text=True, errors="replace",
                       env=dict(os.environ, **env))
    closing = (r.stderr.strip().split("\n") or [""])[-1]
    return r.returncode, closing

def measure(cards, lines):
    """Cards right: the most cards that can each have a line of their own that is right for
    them (a bipartite matching), then the cards left out that no line shows."""
    lines = [tuple((side.endswith("…"), norm(side)) for side in line) for line in lines]
    used = [None] * len(lines)  # the card each line went to
    good = 0
    wrong = []
    candidates = []
    for card, exp in cards:
        if exp is None:
            candidates.append([])
            continue
        rules, hidden = exp
        pool = range(len(lines))
        candidates.append([i for i in pool if right(lines[i], rules, hidden)])

    def take(c, seen):
        for i in candidates[c]:
            if i in seen:
                continue
            seen.add(i)
            if used[i] is None or take(used[i], seen):
                used[i] = c
                return True
        return False

    sys.setrecursionlimit(10000)
    for c, (card, exp) in enumerate(cards):
        if exp is None:
            continue
        if take(c, set()):
            good += 1
        else:
            wrong.append((card, exp))
    # A card the item must leave out is right when no line left shows its note's text.
    for card, exp in cards:
        if exp is not None:
            continue
        texts = [t for t in (norm(plain(v)) for v in card[1]) if len(t) >= 4]
        for i, line in enumerate(lines):
            if used[i] is None and any(t in line[0][1] + line[1][1] for t in texts):
                used[i] = -1
                wrong.append((card, exp))
                break
        else:
            good += 1
    return good, wrong

def media_left(closing):
    m = re.search(r"(\d+) (?:due )?cards? shows? only pictures or sounds", closing)
    return int(m.group(1)) if m else 0

def report(name, cards, args, env):
    results = []
    for binary in [before, tool] if before else [tool]:
        out = os.path.join(work, "deck.txt")
        status, closing = run_tool(binary, args + ["-o", out, "--force"], env)
        if status != 0:
            results.append(f"FAILED {closing}")
            continue
        lines = read_deck(out)
        due = re.search(r"(\d+) cards? (?:is|are) due today", closing)
        if due and int(due.group(1)) != len(cards):
            results.append(f"DUE {due.group(1)}, NOT {len(cards)}")  # the two schedules differ
        good, wrong = measure(cards, lines)
        results.append(f"{good}/{len(cards)} right, {media_left(closing)} left out as pictures "
                       f"or sounds")
        if binary == tool and show:
            for card, exp in wrong[:show]:
                print(f"   WRONG note {card[0]} {card[1]}: needs {exp and exp[0]}",
                      file=sys.stderr)
    print(f"{name}\t" + "\t".join(results))

def cards_of(db, types, decks, picks):
    notes = {nid: (mid, flds.split("\x1f"), tags)
             for nid, mid, flds, tags in db.execute("SELECT id, mid, flds, tags FROM notes")}
    out = []
    for p in picks:
        mid, fields, tags = notes[p["nid"]]
        t = types.get(mid)
        if t is None:
            continue
        card = Card(t, fields, p["ord"], tags, decks.get(p["deck"], ""), p["flags"])
        out.append(((p["nid"], fields), expect(card)))
    return out

def packages():
    rows = list(csv.DictReader(open(os.path.join(decks_dir, "MANIFEST.tsv"), encoding="utf-8"),
                               delimiter="\t", quoting=csv.QUOTE_NONE))
    for row in rows:
        if row["run"] != row["file"] or not row["kind"].startswith(("apkg", "colpkg")):
            continue
        path = os.path.join(decks_dir, row["file"])
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            entry = next(n for n in ("collection.anki21b", "collection.anki21", "collection.anki2")
                         if n in names)
            raw = z.read(entry)
        col = os.path.join(work, "col.db")
        if entry.endswith("b"):
            raw = subprocess.run(["zstd", "-d", "-c"], input=raw, capture_output=True).stdout
        open(col, "wb").write(raw)
        db = open_db(col)
        types, decks, _, _ = load(db)
        firsts = {}
        for nid, ord_, did, odid, flags in db.execute(
                "SELECT nid, ord, did, odid, flags FROM cards"):
            if nid not in firsts or ord_ < firsts[nid]["ord"]:
                firsts[nid] = {"nid": nid, "ord": ord_, "deck": odid or did, "flags": flags}
        picks = [firsts[n] for n in sorted(firsts)]
        cards = cards_of(db, types, decks, picks)
        db.close()
        report(row["file"], cards, ["import", path], {})

def collections():
    for name in sorted(os.listdir(collections_dir)):
        folder = os.path.join(collections_dir, name)
        if not os.path.isdir(folder):
            continue
        copy = os.path.join(work, name)
        shutil.copytree(folder, copy)
        path = next(os.path.join(d, "collection.anki2") for d, _, files in os.walk(copy)
                    if "collection.anki2" in files)
        # The tool reads its own copy of `path`; this script reads a second copy.
        mine = os.path.join(work, name + "-mine")
        shutil.copytree(os.path.dirname(path), mine)
        db = open_db(os.path.join(mine, "collection.anki2"))
        types, decks, crt, conf = load(db)
        last = db.execute("SELECT max(id) FROM revlog").fetchone()[0] // 1000
        west = conf.get("localOffset", 0)  # minutes west of UTC
        offset = -60 * west
        day = datetime.datetime.utcfromtimestamp(last + offset).date() + datetime.timedelta(1)
        noon = datetime.datetime(day.year, day.month, day.day, 12) - datetime.datetime(1970, 1, 1)
        now = int(noon.total_seconds()) - offset
        tz = "LOC%+d:%02d" % (int(west / 60), abs(west) % 60)
        picks = due_cards(db, crt, conf, now, offset)
        cards = cards_of(db, types, decks, picks)
        db.close()
        report(f"{name} (due at {day} 12:00, TZ={tz})", cards,
               ["import", path, "--due"], {"TOLLAMY_NOW": str(now), "TZ": tz})

print("source\t" + ("before\t" if before else "") + "after")
if os.path.isfile(os.path.join(decks_dir, "MANIFEST.tsv")):
    packages()
if os.path.isdir(collections_dir):
    collections()
