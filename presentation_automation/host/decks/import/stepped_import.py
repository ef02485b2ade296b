"""Imports a .ppt/.pptx/.pps/.ppsx/.odp deck for the presentation host.

Writes one PDF page per build state of each slide (the shapes and paragraphs not yet built at
that state are left out) and, beside it, "<pdf>.steps.json": the slides, their states, their
transitions and timings, and the deck's show settings, in the format the host reads
(deck_description.h). LibreOffice runs privately for this one import: its own profile and pipe.

  python3 stepped_import.py --soffice PATH --profile DIR --pipe NAME INPUT OUTPUT.pdf

Exit status: 0 done; 3 the UNO bridge (python3-uno) is missing; 4 the deck cannot be imported.
The last line on standard error says why.
"""

import json
import math
import os
import shutil
import subprocess
import sys
import time
import urllib.parse
import urllib.request
import zipfile

# Part of the converted-deck cache key: a new version imports every deck again.
VERSION = "3"

EXIT_NO_UNO = 3
EXIT_FAILED = 4

# Effects closer together than this happen at once as far as a page can tell.
SAME_MOMENT = 0.05


class ImportError_(Exception):
    pass


def constant(name):
    import uno
    return uno.getConstantByName(name)


def prop(name, value):
    from com.sun.star.beans import PropertyValue
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def children(node):
    if not hasattr(node, "createEnumeration"):
        return []
    out = []
    e = node.createEnumeration()
    while e.hasMoreElements():
        out.append(e.nextElement())
    return out


def user_data(node):
    try:
        return {v.Name: v.Value for v in node.UserData}
    except Exception:
        return {}


def seconds(value, default=0.0):
    # Begin and Duration are numbers, or events and "indefinite" that have no time.
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return float(value)
    return default


def descendants(node):
    yield node
    for c in children(node):
        yield from descendants(c)


class Effect:
    def __init__(self, node, start):
        self.node = node
        self.start = start
        data = user_data(node)
        self.node_type = data.get("node-type", 0)
        self.preset_class = data.get("preset-class", 0)
        self.preset_id = data.get("preset-id", "") or ""
        self.target = None
        self.visible = None  # what the effect leaves: True shown, False hidden, None unchanged
        self.plays = None  # the shape whose media this effect starts
        self.loops = False
        last_set = -1.0
        for d in descendants(node):
            try:
                kind = d.Type
            except Exception:
                kind = None
            if kind == constant("com.sun.star.animations.AnimationNodeType.COMMAND") and \
                    getattr(d, "Command", None) == constant(
                        "com.sun.star.presentation.EffectCommands.PLAY"):
                self.plays = getattr(d, "Target", None)
            elif kind == constant("com.sun.star.animations.AnimationNodeType.AUDIO"):
                if getattr(d, "RepeatCount", None) == constant(
                        "com.sun.star.animations.Timing.INDEFINITE"):
                    self.loops = True
            if self.target is None:
                try:
                    if d.Target is not None:
                        self.target = d.Target
                        self.sub_item = getattr(d, "SubItem", 0)
                except Exception:
                    pass
            try:
                if d.Type == constant("com.sun.star.animations.AnimationNodeType.SET") and \
                        str(d.AttributeName).lower() == "visibility":
                    at = seconds(d.Begin)
                    if at >= last_set:
                        last_set = at
                        to = d.To
                        self.visible = to if isinstance(to, bool) else str(to).lower() == "visible"
            except Exception:
                pass
        if self.visible is None:
            if self.preset_class == constant("com.sun.star.presentation.EffectPresetClass.ENTRANCE"):
                self.visible = True
            elif self.preset_class == constant("com.sun.star.presentation.EffectPresetClass.EXIT"):
                self.visible = False

    def name(self):
        name = self.preset_id
        for prefix in ("ooo-entrance-", "ooo-exit-", "ooo-emphasis-", "ooo-motionpath-"):
            if name.startswith(prefix):
                name = name[len(prefix):]
        return name.replace("-", " ") or "custom"


class Slide:
    """What one slide's animations make of it: the targets, and the moments that change them."""

    def __init__(self, page, number):
        self.page = page
        self.number = number
        self.report = []
        # Each moment: ("click" | "auto", delay in seconds, [Effect]).
        self.moments = []
        root = page.AnimationNode
        main_type = constant("com.sun.star.presentation.EffectNodeType.MAIN_SEQUENCE")
        interactive_type = constant("com.sun.star.presentation.EffectNodeType.INTERACTIVE_SEQUENCE")
        triggers = 0
        for child in children(root) if root is not None else []:
            kind = user_data(child).get("node-type", 0)
            if kind == main_type:
                self._read_main_sequence(child)
            elif kind == interactive_type:
                triggers += sum(1 for _ in children(child))
        if triggers:
            self.note("%d effect(s) started by clicking an object (triggers) are not played"
                      % triggers, "trigger")

    def note(self, message, effect="animation"):
        if (effect, message) not in self.report:
            self.report.append((effect, message))

    def _read_main_sequence(self, sequence):
        on_click = constant("com.sun.star.presentation.EffectNodeType.ON_CLICK")
        on_next = constant("com.sun.star.animations.EventTrigger.ON_NEXT")
        for group in children(sequence):
            effects = []
            for with_group in children(group):
                base = seconds(with_group.Begin)
                for node in children(with_group):
                    effects.append(Effect(node, base + seconds(node.Begin)))
            if not effects:
                continue
            begin = group.Begin
            clicked = effects[0].node_type == on_click or \
                getattr(begin, "Trigger", None) == on_next
            effects.sort(key=lambda e: e.start)
            # Effects of one moment show on one page; each later moment comes on its own.
            clusters = []
            for e in effects:
                if clusters and e.start - clusters[-1][0] < SAME_MOMENT:
                    clusters[-1][1].append(e)
                else:
                    clusters.append((e.start, [e]))
            previous = 0.0
            for n, (at, members) in enumerate(clusters):
                if n == 0 and clicked:
                    self.moments.append(("click", 0.0, members))
                else:
                    # Only a slide's opening group runs without a click; it counts from the
                    # slide being shown.
                    self.moments.append(("auto", at - previous, members))
                previous = at
        for _, _, effects in self.moments:
            for e in effects:
                self._check(e)

    def _check(self, e):
        preset = e.preset_class
        cls = "com.sun.star.presentation.EffectPresetClass."
        if preset == constant(cls + "EMPHASIS"):
            self.note("emphasis effect \u201c%s\u201d is not played" % e.name(), "emphasis")
        elif preset == constant(cls + "MOTIONPATH"):
            self.note("motion path \u201c%s\u201d is not played: the object stays where it is"
                      % e.name(), "motion path")
        elif e.plays is not None:
            pass  # the host plays the media itself
        elif preset in (constant(cls + "MEDIACALL"), constant(cls + "OLEACTION")):
            self.note("media and object actions other than play are not played", "action")
        elif preset == constant(cls + "EXIT") and e.visible is not False:
            self.note("exit effect \u201c%s\u201d does not hide its object and is not played"
                      % e.name(), "exit")
        elif e.visible is None:
            self.note("effect \u201c%s\u201d is not played" % e.name())


def shape_path(page, shape):
    """The indices that lead from the page to shape (through groups), or None."""
    def search(container, prefix):
        for i in range(container.getCount()):
            s = container.getByIndex(i)
            if s == shape:
                return prefix + [i]
            if s.supportsService("com.sun.star.drawing.GroupShape"):
                found = search(s, prefix + [i])
                if found:
                    return found
        return None
    return search(page, [])


def shape_at(page, path):
    s = page
    for i in path:
        s = s.getByIndex(i)
    return s


def target_key(page, effect):
    """("shape", path) or ("paragraph", path, index) for what the effect shows or hides."""
    t = effect.target
    if t is None:
        return None
    if hasattr(t, "Paragraph") and hasattr(t, "Shape"):
        path = shape_path(page, t.Shape)
        return None if path is None else ("paragraph", tuple(path), int(t.Paragraph))
    path = shape_path(page, t)
    if path is None:
        return None
    if getattr(effect, "sub_item", 0) == constant(
            "com.sun.star.presentation.ShapeAnimationSubType.ONLY_TEXT"):
        return ("text", tuple(path))
    return ("shape", tuple(path))


def build_states(slide):
    """The visibility of each animated target at each state, and each state's trigger."""
    page = slide.page
    timeline = []
    first_seen = {}
    for trigger, delay, effects in slide.moments:
        changes = []
        for e in effects:
            if e.visible is None:
                continue
            key = target_key(page, e)
            if key is None:
                slide.note("an effect on an object that cannot be found is not played")
                continue
            changes.append((key, e.visible))
            first_seen.setdefault(key, e.visible)
        timeline.append((trigger, delay, changes))
    # A target first shown by an effect starts hidden; one first hidden starts shown.
    current = {key: not shown for key, shown in first_seen.items()}
    states = [(None, 0.0, dict(current))]
    for trigger, delay, changes in timeline:
        for key, shown in changes:
            current[key] = shown
        states.append((trigger, delay, dict(current)))
    return states


def paragraphs(shape):
    out = []
    e = shape.getText().createEnumeration()
    while e.hasMoreElements():
        out.append(e.nextElement())
    return out


def apply_state(page, visibility):
    """Leaves out of page what visibility says is not built yet."""
    doomed = []
    for key, shown in visibility.items():
        if shown:
            continue
        shape = shape_at(page, key[1])
        if key[0] == "shape":
            doomed.append(shape)
            continue
        # Transparent text keeps its room, so the lines built so far stay where they are;
        # text that cannot be seen is not written into the PDF at all.
        paras = paragraphs(shape)
        chosen = paras if key[0] == "text" else paras[key[2]:key[2] + 1]
        for p in chosen:
            p.CharTransparence = 100
            # Runs that carry their own character attributes (as .pptx text does) keep them
            # over the paragraph's.
            portions = p.createEnumeration()
            while portions.hasMoreElements():
                try:
                    portions.nextElement().CharTransparence = 100
                except Exception:
                    pass
            try:
                if p.NumberingIsNumber:
                    p.NumberingIsNumber = False
            except Exception:
                pass
    for shape in doomed:
        try:
            shape.getParent().remove(shape)
        except Exception:
            page.remove(shape)


def field_kind(portion):
    """"number" for a page number field, "count" for a page count, else None."""
    try:
        if portion.TextPortionType != "TextField":
            return None
        field = portion.TextField
    except Exception:
        return None
    if field.supportsService("com.sun.star.text.textfield.PageNumber"):
        return "number"
    if field.supportsService("com.sun.star.text.textfield.PageCount"):
        return "count"
    return None


def number_fields(text):
    """The page number and page count fields in text, each with its kind."""
    found = []
    for para in children(text):
        for portion in children(para):
            kind = field_kind(portion)
            if kind:
                found.append((portion.TextField, kind))
    return found


def text_shapes(container):
    for i in range(container.getCount()):
        s = container.getByIndex(i)
        if s.supportsService("com.sun.star.drawing.GroupShape"):
            yield from text_shapes(s)
        elif hasattr(s, "getText"):
            yield s


def copy_slide_number_shape(doc, page, master_shape, values):
    """Puts on page a text shape like master_shape whose fields are fixed text."""
    copy = doc.createInstance("com.sun.star.drawing.TextShape")
    page.add(copy)
    copy.setPosition(master_shape.getPosition())
    copy.setSize(master_shape.getSize())
    pieces = []
    for n, para in enumerate(children(master_shape.getText())):
        if n:
            pieces.append("\n")
        for portion in children(para):
            kind = field_kind(portion)
            pieces.append(values[kind] if kind else portion.getString())
    text = "".join(pieces)
    skip = {"ZOrder", "Name", "NavigationOrder", "Transformation", "Style", "LayerID",
            "LayerName", "Visible", "Printable"}
    properties = master_shape.getPropertySetInfo().getProperties()
    readonly = constant("com.sun.star.beans.PropertyAttribute.READONLY")
    copy.setString(text)
    for p in properties:
        if p.Name in skip or p.Attributes & readonly:
            continue
        try:
            copy.setPropertyValue(p.Name, master_shape.getPropertyValue(p.Name))
        except Exception:
            pass
    # Runs that carry their own character attributes (as .pptx text does) keep them.
    runs = [portion for para in children(master_shape.getText()) for portion in children(para)]
    if runs:
        cursor = copy.getText().createTextCursor()
        cursor.gotoEnd(True)
        for p in runs[-1].getPropertySetInfo().getProperties():
            if not p.Name.startswith("Char") or p.Attributes & readonly:
                continue
            try:
                cursor.setPropertyValue(p.Name, runs[-1].getPropertyValue(p.Name))
            except Exception:
                pass


def fix_slide_numbers(doc, page, number, count):
    """Writes the slide's own number (and the slide count) where page shows them as fields.

    Every build state of a slide is a page of its own, so a field would count them all.
    """
    values = {"number": str(number), "count": str(count)}
    for shape in text_shapes(page):
        for field, kind in reversed(number_fields(shape.getText())):
            anchor = field.getAnchor()
            anchor.getText().insertString(anchor, values[kind], True)
    try:
        shown = bool(page.IsPageNumberVisible)
    except Exception:
        shown = False
    if not shown:
        return
    master = page.MasterPage
    for i in range(master.getCount()):
        shape = master.getByIndex(i)
        if shape.getShapeType() == "com.sun.star.presentation.SlideNumberShape":
            copy_slide_number_shape(doc, page, shape, values)
    page.IsPageNumberVisible = False


def direction_from(subtype, tst, named_by_motion):
    """The edge the incoming slide comes in from."""
    edge = {tst.FROMLEFT: "left", tst.FROMRIGHT: "right", tst.FROMTOP: "up",
            tst.FROMBOTTOM: "down"}.get(subtype)
    if edge and named_by_motion:
        # LibreOffice reads an Office Open XML direction, which names where the slides move,
        # straight into these "from" names: "l" (moving left, in from the right) becomes
        # FROMLEFT.
        edge = {"right": "left", "left": "right", "down": "up", "up": "down"}[edge]
    return edge


class Names:
    def __init__(self, module):
        self._module = module

    def __getattr__(self, name):
        return constant(self._module + "." + name)


def transition_name(kind):
    for name in ("BARWIPE", "BOXWIPE", "FOURBOXWIPE", "BARNDOORWIPE", "DIAGONALWIPE",
                 "BOWTIEWIPE", "MISCDIAGONALWIPE", "VEEWIPE", "BARNVEEWIPE", "ZIGZAGWIPE",
                 "BARNZIGZAGWIPE", "IRISWIPE", "TRIANGLEWIPE", "ARROWHEADWIPE", "PENTAGONWIPE",
                 "HEXAGONWIPE", "ELLIPSEWIPE", "EYEWIPE", "ROUNDRECTWIPE", "STARWIPE",
                 "MISCSHAPEWIPE", "CLOCKWIPE", "PINWHEELWIPE", "SINGLESWEEPWIPE", "FANWIPE",
                 "DOUBLEFANWIPE", "DOUBLESWEEPWIPE", "SALOONDOORWIPE", "WINDSHIELDWIPE",
                 "SNAKEWIPE", "SPIRALWIPE", "PARALLELSNAKESWIPE", "BOXSNAKESWIPE",
                 "WATERFALLWIPE", "PUSHWIPE", "SLIDEWIPE", "FADE", "RANDOMBARWIPE",
                 "CHECKERBOARDWIPE", "DISSOLVE", "BLINDSWIPE", "RANDOM", "ZOOM"):
        try:
            if constant("com.sun.star.animations.TransitionType." + name) == kind:
                return name.lower().replace("wipe", " wipe").strip()
        except Exception:
            pass
    return "number %d" % kind


def transition_of(page, report, named_by_motion):
    tt = Names("com.sun.star.animations.TransitionType")
    tst = Names("com.sun.star.animations.TransitionSubType")
    kind = page.TransitionType
    sub = page.TransitionSubtype
    forward = bool(page.TransitionDirection)
    duration = seconds(getattr(page, "TransitionDuration", 1.0), 1.0)
    if kind == 0:
        return None
    out = None
    if kind == tt.FADE:
        if sub in (tst.FADEOVERCOLOR, tst.FADETOCOLOR, tst.FADEFROMCOLOR):
            out = {"kind": "fadeThroughBlack"}
        else:
            out = {"kind": "fade"}
    elif kind == tt.DISSOLVE:
        out = {"kind": "dissolve"}
    elif kind in (tt.PUSHWIPE, tt.SLIDEWIPE):
        direction = direction_from(sub, tst, named_by_motion)
        if direction:
            if kind == tt.PUSHWIPE:
                out = {"kind": "push", "direction": direction}
            else:
                out = {"kind": "cover" if forward else "uncover", "direction": direction}
    elif kind == tt.BARWIPE:
        if sub == tst.LEFTTORIGHT:
            out = {"kind": "wipe", "direction": "left" if forward else "right"}
        elif sub == tst.TOPTOBOTTOM:
            out = {"kind": "wipe", "direction": "up" if forward else "down"}
    elif kind == tt.BARNDOORWIPE:
        axis = "vertical" if sub == tst.VERTICAL else "horizontal"
        out = {"kind": "split", "direction": axis + ("Out" if forward else "In")}
    if out is None:
        report.append(("transition", "transition \u201c%s\u201d is shown as a cut"
                       % transition_name(kind)))
        return None
    out["duration"] = round(duration, 3)
    return out



AUDIO_SUFFIXES = (".mp3", ".wav", ".m4a", ".aac", ".ogg", ".oga", ".opus", ".flac", ".wma",
                  ".aif", ".aiff", ".mid", ".midi")


def media_shapes(container):
    for i in range(container.getCount()):
        s = container.getByIndex(i)
        if s.supportsService("com.sun.star.drawing.GroupShape"):
            yield from media_shapes(s)
        elif s.supportsService("com.sun.star.drawing.MediaShape") or \
                s.getShapeType().endswith("MediaShape"):
            yield s


class MediaFiles:
    """Copies each medium a deck plays into "<pdf>.media/", named media1, media2, ..."""

    PACKAGE = "vnd.sun.star.Package:"

    def __init__(self, source, folder):
        self.source = source
        self.folder = folder
        self.count = 0

    def copy(self, url):
        """The copied file's name, or None with why."""
        suffix = os.path.splitext(urllib.parse.urlparse(url).path)[1].lower()
        if not suffix.isascii() or len(suffix) > 8 or not suffix[1:].isalnum():
            suffix = ""
        self.count += 1
        name = "media%d%s" % (self.count, suffix)
        os.makedirs(self.folder, exist_ok=True)
        target = os.path.join(self.folder, name)
        try:
            if url.startswith(self.PACKAGE):
                inner = urllib.parse.unquote(url[len(self.PACKAGE):]).lstrip("/")
                with zipfile.ZipFile(self.source) as z, z.open(inner) as f, \
                        open(target, "wb") as out:
                    shutil.copyfileobj(f, out, 1 << 20)
            elif url.startswith("file:"):
                path = urllib.request.url2pathname(urllib.parse.urlparse(url).path)
                if not os.path.isfile(path):
                    return None, "its file %s is not there" % path
                shutil.copyfile(path, target)
            else:
                return None, "it is not in the deck nor in a file"
        except (OSError, KeyError, zipfile.BadZipFile) as e:
            return None, "it cannot be read from the deck (%s)" % type(e).__name__
        return name, None


def volume_of(shape):
    try:
        if shape.Mute:
            return 0.0
    except Exception:
        pass
    try:
        return round(min(max(math.pow(10.0, float(shape.VolumeDB) / 20.0), 0.0), 1.0), 3)
    except Exception:
        return 1.0


def describe_media(slide, page, files, states_of_moments, plays_unasked):
    """The slide's media: file, rectangle in page fractions, the build state that starts it."""
    width = float(page.Width) or 1.0
    height = float(page.Height) or 1.0
    started = {}
    for state, (_, _, effects) in zip(states_of_moments, slide.moments):
        for e in effects:
            if e.plays is not None:
                started.setdefault(id(e.plays), (state, e.loops, e.plays))
    out = []
    for shape in media_shapes(page):
        url = getattr(shape, "MediaURL", "") or ""
        if not url:
            continue
        start = None
        loops = bool(getattr(shape, "Loop", False))
        for state, effect_loops, target in started.values():
            if target == shape:
                start = state
                loops = loops or effect_loops
        if start is None:
            if not plays_unasked:
                slide.note("a medium that plays only when clicked is not played", "media")
                continue
            start = 0
        name, why = files.copy(url)
        if name is None:
            slide.note("a medium is not played: " + why, "media")
            continue
        pos = shape.Position
        size = shape.Size
        kind = "audio" if os.path.splitext(name)[1] in AUDIO_SUFFIXES else "video"
        out.append({"file": name, "kind": kind,
                    "rect": [round(pos.X / width, 5), round(pos.Y / height, 5),
                             round(size.Width / width, 5), round(size.Height / height, 5)],
                    "start": start, "loop": loops, "volume": volume_of(shape)})
    return out


def describe_and_expand(doc, named_by_motion, files, plays_unasked):
    """Duplicates each slide once per build state; returns the description."""
    pages = doc.DrawPages
    originals = [pages.getByIndex(i) for i in range(pages.getCount())]
    slides = []
    report = []
    page_number = 0
    for number, page in enumerate(originals, start=1):
        slide = Slide(page, number)
        states = build_states(slide)
        media = describe_media(slide, page, files, range(1, len(states)), plays_unasked)
        # Shapes it adds come after those the states name, so their paths hold.
        fix_slide_numbers(doc, page, number, len(originals))
        # A state that shows what the one before it shows needs no page of its own.
        distinct = [0]
        for i in range(1, len(states)):
            if states[i][2] != states[distinct[-1]][2]:
                distinct.append(i)
        for _ in range(len(distinct) - 1):
            # Each copy goes right after the slide; all are alike until changed below.
            doc.duplicate(page)
        # The slides before this one are done, so it sits at the page count so far.
        ordered = [pages.getByIndex(page_number + k) for k in range(len(distinct))]
        page_of_state = []
        for k, state_index in enumerate(distinct):
            apply_state(ordered[k], states[state_index][2])
            if k > 0:
                # Build pages are parts of one slide: no transition or timing of their own.
                ordered[k].TransitionType = 0
                ordered[k].Change = 0
        for i in range(len(states)):
            k = max(j for j, s in enumerate(distinct) if s <= i)
            page_of_state.append(page_number + k)
        entries = []
        for i, (trigger, delay, _) in enumerate(states):
            entry = {"page": page_of_state[i]}
            if i > 0:
                entry["trigger"] = trigger
                if trigger == "auto":
                    entry["delay"] = round(max(delay, 0.0), 3)
            entries.append(entry)
        slide_report = list(slide.report)
        description = {"states": entries, "hidden": not bool(page.Visible)}
        if media:
            description["media"] = media
        transition = transition_of(page, slide_report, named_by_motion)
        if transition:
            description["transition"] = transition
        if page.Change == 1:
            after = seconds(getattr(page, "HighResDuration", None), float(page.Duration))
            description["advanceAfter"] = round(max(after, 0.0), 3)
        slides.append(description)
        report.extend({"slide": number, "effect": effect, "message": message}
                      for effect, message in slide_report)
        page_number += len(distinct)
    show = doc.Presentation
    return {
        "format": 1,
        "importer": VERSION,
        # IsAutomatic holds LibreOffice's "change slides manually", whatever its name says.
        "show": {"loop": bool(show.IsEndless), "useTimings": not bool(show.IsAutomatic)},
        "slides": slides,
        "report": report,
    }


def connect(soffice, profile, pipe, process_deadline):
    import uno
    args = [soffice, "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
            "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
            "--nolockcheck", "--accept=pipe,name=%s;urp;" % pipe]
    office = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    while True:
        try:
            context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return office, context
        except Exception:
            if office.poll() is not None:
                raise ImportError_("LibreOffice ended before it could be reached")
            if time.monotonic() > process_deadline:
                raise ImportError_("LibreOffice could not be reached")
            time.sleep(0.05)


def write_json(path, data):
    partial = path + ".part"
    with open(partial, "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False, indent=1)
    os.replace(partial, path)


def run(soffice, profile, pipe, source, output):
    import uno
    office, context = connect(soffice, profile, pipe, time.monotonic() + 600)
    desktop = None
    try:
        desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)
        try:
            doc = desktop.loadComponentFromURL(
                uno.systemPathToFileUrl(os.path.abspath(source)), "_blank", 0,
                (prop("Hidden", True), prop("MacroExecutionMode", 0)))
        except Exception as e:
            raise ImportError_("LibreOffice cannot open it (%s)" % type(e).__name__)
        if doc is None or not hasattr(doc, "getDrawPages"):
            raise ImportError_("LibreOffice cannot open it as a presentation")
        # The host's time limit follows these lines: the deck is open, its slides come next.
        print("progress 0 %d" % doc.DrawPages.getCount(), flush=True)
        named_by_motion = os.path.splitext(source)[1].lower() in (".pptx", ".ppsx")
        # An Impress slide plays its media as it is shown; a PowerPoint one only when asked.
        plays_unasked = os.path.splitext(source)[1].lower() not in (".ppt", ".pps", ".pptx",
                                                                     ".ppsx")
        description = describe_and_expand(doc, named_by_motion,
                                          MediaFiles(source, output + ".media"), plays_unasked)
        filter_data = uno.Any("[]com.sun.star.beans.PropertyValue", (
            prop("ExportHiddenSlides", True),
            prop("ExportNotesPages", False),
        ))
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(output)),
                       (prop("FilterName", "impress_pdf_Export"),
                        prop("FilterData", filter_data)))
        try:
            doc.close(True)
        except Exception:
            pass
        write_json(output + ".steps.json", description)
    finally:
        try:
            if desktop is not None:
                desktop.terminate()
        except Exception:
            pass  # the bridge goes with the office
        try:
            office.wait(timeout=15)
        except subprocess.TimeoutExpired:
            office.kill()
            office.wait()


def main(argv):
    options = {}
    rest = []
    i = 1
    while i < len(argv):
        if argv[i] in ("--soffice", "--profile", "--pipe") and i + 1 < len(argv):
            options[argv[i][2:]] = argv[i + 1]
            i += 2
        else:
            rest.append(argv[i])
            i += 1
    if argv[1:2] == ["--version"]:
        print(VERSION)
        return 0
    if len(rest) != 2 or len(options) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        import uno  # noqa: F401
    except ImportError:
        print("the UNO bridge for Python (python3-uno) is not installed", file=sys.stderr)
        return EXIT_NO_UNO
    try:
        run(options["soffice"], options["profile"], options["pipe"], rest[0], rest[1])
    except ImportError_ as e:
        print(str(e), file=sys.stderr)
        return EXIT_FAILED
    except Exception as e:  # anything LibreOffice throws: this deck is not imported
        print("the import failed (%s: %s)" % (type(e).__name__, str(e).splitlines()[0]
                                              if str(e) else ""), file=sys.stderr)
        return EXIT_FAILED
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
