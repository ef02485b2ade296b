"""Imports a .ppt/.pptx/.pps/.ppsx/.odp deck for the presentation host.

Writes one PDF page per build state of each slide (the shapes and paragraphs not yet built at
that state are left out) and, beside it, "<pdf>.steps.json": the slides, their states, their
transitions and timings, and the deck's show settings, in the format the host reads
(deck_description.h). Each animation effect is described with a page of its object alone (a
sprite) and, where the state before does not show it, a page of its state without the objects
its step animates; these follow each slide's own pages. LibreOffice runs privately for this one
import: its own profile and pipe. A copy of this file, put in that profile, makes the pages in
LibreOffice's own Python where it has its Python script provider; elsewhere this process does.

  python3 stepped_import.py --soffice PATH --profile DIR --pipe NAME INPUT OUTPUT.pdf

Exit status: 0 done; 3 the UNO bridge (python3-uno) is missing; 4 the deck cannot be imported.
The last line on standard error says why.
"""

import json
import math
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse
import zipfile
import zlib

# Part of the converted-deck cache key: a new version imports every deck again.
VERSION = "5"

EXIT_NO_UNO = 3
EXIT_FAILED = 4

# Effects closer together than this happen at once as far as a page can tell.
SAME_MOMENT = 0.05


class ImportError_(Exception):
    pass


_constants = {}


def constant(name):
    if name not in _constants:
        import uno
        _constants[name] = uno.getConstantByName(name)
    return _constants[name]


def enum(name):
    """The value of an enum, as "com.sun.star.drawing.FillStyle.NONE"."""
    # An "import" of it searches the whole module path before UNO's importer is asked, and
    # the sprite pages ask for the same few values again and again.
    if name not in _constants:
        import uno
        type_name, _, value = name.rpartition(".")
        _constants[name] = uno.Enum(type_name, value)
    return _constants[name]


def prop(name, value):
    import uno
    p = uno.createUnoStruct("com.sun.star.beans.PropertyValue")
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


FAMILIES = {1: "entrance", 2: "exit", 3: "emphasis", 4: "motion"}
# What an emphasis may leave changed on its object (colours and the font's look), with what
# a value of it must be.
_is_int = lambda v: isinstance(v, int) and not isinstance(v, bool)
RESTYLED = {"FillColor": _is_int, "LineColor": _is_int, "CharColor": _is_int,
            "CharWeight": lambda v: isinstance(v, float), "CharFontName": lambda v: isinstance(v, str),
            "CharUnderline": _is_int, "CharPosture": lambda v: v is not None}
STARTS = {1: "click", 2: "with", 3: "after"}
# A repeat "until the next click" plays as long as anyone waits.
REPEAT_INDEFINITE = 1000.0


def node_type_name(node):
    try:
        kind = node.Type
    except Exception:
        return None
    for name in ("SET", "ANIMATE", "ANIMATEMOTION", "ANIMATETRANSFORM", "TRANSITIONFILTER",
                 "ANIMATECOLOR", "AUDIO", "COMMAND", "PAR", "SEQ", "ITERATE"):
        try:
            if kind == constant("com.sun.star.animations.AnimationNodeType." + name):
                return name
        except Exception:
            pass
    return None


def number_of(value):
    """A plain number, the first of a pair (a scale's x), or None."""
    if isinstance(value, bool):
        return None
    if isinstance(value, (int, float)):
        return float(value)
    first = getattr(value, "First", None)
    if first is not None:
        return number_of(first)
    try:
        return float(str(value))
    except (TypeError, ValueError):
        return None


class Effect:
    def __init__(self, node, start):
        self.node = node
        self.start = start
        data = user_data(node)
        self.node_type = data.get("node-type", 0)
        self.preset_class = data.get("preset-class", 0)
        self.preset_id = data.get("preset-id", "") or ""
        self.preset_sub_type = data.get("preset-sub-type", "") or ""
        self.target = None
        self.visible = None  # what the effect leaves: True shown, False hidden, None unchanged
        self.plays = None  # the shape whose media this effect starts
        self.loops = False
        self.duration = 0.0
        self.accelerate = 0.0
        self.decelerate = 0.0
        self.repeat = 1.0
        self.auto_reverse = False
        self.path = None  # a motion path's SVG data
        self.amount = None
        self.animates = False  # has a node that moves, turns, scales, fades or wipes
        self.restyles = {}  # the look it leaves its object with: {property: value}
        last_set = -1.0
        self._timing(node, is_effect=True)
        for d, begin in self._timed_descendants(node, 0.0):
            kind = node_type_name(d)
            if kind == "COMMAND" and getattr(d, "Command", None) == constant(
                    "com.sun.star.presentation.EffectCommands.PLAY"):
                self.plays = getattr(d, "Target", None)
            elif kind == "AUDIO":
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
            if d is not node and kind in ("SET", "ANIMATE", "ANIMATEMOTION", "ANIMATETRANSFORM",
                                          "TRANSITIONFILTER", "ANIMATECOLOR"):
                self.duration = max(self.duration, begin + seconds(getattr(d, "Duration", 0)))
                self._timing(d)
            attribute = str(getattr(d, "AttributeName", "") or "").lower()
            if kind == "SET" and attribute == "visibility":
                at = begin
                if at >= last_set:
                    last_set = at
                    to = d.To
                    self.visible = to if isinstance(to, bool) else str(to).lower() == "visible"
            elif kind == "ANIMATEMOTION":
                self.animates = True
                path = getattr(d, "Path", None)
                if isinstance(path, str) and self.path is None:
                    self.path = path
            elif kind == "ANIMATETRANSFORM":
                self.animates = True
                value = number_of(d.By) if d.By is not None else number_of(d.To)
                if value is not None and self.amount is None:
                    self.amount = value
            elif kind in ("ANIMATE", "SET") and attribute in ("rotate", "opacity"):
                self.animates = True
                values = getattr(d, "Values", None) or ()
                value = number_of(d.By) if d.By is not None else number_of(d.To)
                if value is None and values:
                    value = number_of(values[-1])
                if value is not None and self.amount is None:
                    self.amount = value
            elif kind in ("ANIMATE", "TRANSITIONFILTER", "ANIMATECOLOR"):
                self.animates = True
            api_name = str(getattr(d, "AttributeName", "") or "")
            if kind in ("ANIMATECOLOR", "SET") and api_name in RESTYLED and \
                    getattr(d, "Fill", 0) != constant("com.sun.star.animations.AnimationFill.REMOVE"):
                to = getattr(d, "To", None)
                if RESTYLED[api_name](to):
                    self.restyles[api_name] = to
                    self.animates = True
        if self.visible is None:
            if self.preset_class == constant("com.sun.star.presentation.EffectPresetClass.ENTRANCE"):
                self.visible = True
            elif self.preset_class == constant("com.sun.star.presentation.EffectPresetClass.EXIT"):
                self.visible = False

    @staticmethod
    def _timed_descendants(node, begin):
        yield node, begin
        for c in children(node):
            yield from Effect._timed_descendants(c, begin + seconds(getattr(c, "Begin", 0)))

    def _timing(self, node, is_effect=False):
        # The effect's own node carries them when LibreOffice wrote it; an imported one has
        # them on its parts. The first that says anything counts.
        try:
            if not self.accelerate:
                self.accelerate = float(node.Acceleration or 0)
            if not self.decelerate:
                self.decelerate = float(node.Decelerate or 0)
            if not self.auto_reverse:
                self.auto_reverse = bool(node.AutoReverse)
            repeat = node.RepeatCount
        except Exception:
            return
        if self.repeat == 1.0 and repeat is not None:
            if repeat == constant("com.sun.star.animations.Timing.INDEFINITE"):
                self.repeat = REPEAT_INDEFINITE
            elif number_of(repeat) is not None and number_of(repeat) > 0:
                self.repeat = number_of(repeat)
        if is_effect:
            self.duration = max(self.duration, seconds(getattr(node, "Duration", 0)))

    def family(self):
        """"entrance", "exit", "emphasis" or "motion"; None for what no sprite can play."""
        family = FAMILIES.get(self.preset_class)
        if family is None and self.preset_class == 0:
            # A preset LibreOffice has no name for: what its parts do tells.
            if self.path is not None:
                family = "motion"
            elif self.visible is True:
                family = "entrance"
            elif self.visible is False:
                family = "exit"
            elif self.animates:
                family = "emphasis"
        return family

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
        if e.plays is not None:
            pass  # the host plays the media itself
        elif preset in (constant(cls + "MEDIACALL"), constant(cls + "OLEACTION")):
            self.note("media and object actions other than play are not played", "action")
        elif preset == constant(cls + "EXIT") and e.visible is not False:
            self.note("exit effect \u201c%s\u201d does not hide its object and is not played"
                      % e.name(), "exit")
        elif e.family() is None or (e.visible is None and not e.animates):
            self.note("effect \u201c%s\u201d is not played" % e.name())
        elif e.family() == "motion" and path_end(e.path) is None:
            self.note("motion path \u201c%s\u201d has a path that cannot be read and is not "
                      "played" % e.name(), "motion path")


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


def path_end(svg):
    """Where an SVG path ends, relative to where it starts; None for data it cannot read."""
    if not isinstance(svg, str) or not re.fullmatch(r"\s*[Mm][\sMmLlHhVvCcSsQqTtAaZzEe\d.,+-]*",
                                                     svg):
        return None
    tokens = re.findall(r"[MmLlHhVvCcSsQqTtAaZzEe]|[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?",
                        svg)
    counts = {"M": 2, "L": 2, "H": 1, "V": 1, "C": 6, "S": 4, "Q": 4, "T": 2, "A": 7, "Z": 0}
    x = y = 0.0
    start = (0.0, 0.0)
    command = None
    i = 0
    try:
        while i < len(tokens):
            t = tokens[i]
            if t.isalpha():
                if t in "Ee":  # PowerPoint's end mark
                    break
                command = t
                i += 1
                if t in "Zz":
                    x, y = start
                    command = None
                continue
            if command is None:
                return None
            n = counts[command.upper()]
            taken = tokens[i:i + n]
            if len(taken) < n or any(v.isalpha() for v in taken):
                return None
            args = [float(v) for v in taken]
            i += n
            relative = command.islower()
            upper = command.upper()
            if upper == "H":
                x = x + args[0] if relative else args[0]
            elif upper == "V":
                y = y + args[0] if relative else args[0]
            else:
                nx, ny = args[-2], args[-1]
                x, y = (x + nx, y + ny) if relative else (nx, ny)
            if upper == "M":
                start = (x, y)
                command = "l" if relative else "L"
    except (ValueError, KeyError):
        return None
    if not all(math.isfinite(v) for v in (x, y)):
        return None
    return x, y


class State:
    """One build state: what is left out of the slide, where moved objects are, what leads to it."""

    def __init__(self, trigger, delay, hidden, offsets, effects, at=0.0, restyled=None):
        self.trigger = trigger
        self.at = at  # when it starts in its click's group
        self.delay = delay
        self.hidden = hidden  # {key: True} for each target not shown
        self.offsets = offsets  # {shape path: (dx, dy)} in 1/100 mm, for objects moved by a path
        # [(Effect, key, offset it starts at, its object's look before, after or None)]
        self.effects = effects
        self.restyled = restyled or {}  # {shape path: ((property, value), ...)}

    def look(self, hidden=None):
        """What its page shows, comparable with another state's."""
        hidden = self.hidden if hidden is None else hidden
        keys = frozenset(k for k, v in hidden.items() if v)
        moved = frozenset((path, d) for path, d in self.offsets.items()
                          if ("shape", path) not in keys and d != (0.0, 0.0))
        restyled = frozenset((path, r) for path, r in self.restyled.items()
                             if ("shape", path) not in keys)
        return keys, moved, restyled


def build_states(slide):
    """The build states, each with what it leaves out and the effects that lead to it."""
    page = slide.page
    width = float(page.Width) or 1.0
    height = float(page.Height) or 1.0
    timeline = []
    first_seen = {}
    for trigger, delay, effects in slide.moments:
        changes = []
        for e in effects:
            if e.plays is not None:
                continue
            family = e.family()
            if e.visible is None and (family is None or not e.animates):
                continue
            key = target_key(page, e)
            if key is None:
                slide.note("an effect on an object that cannot be found is not played")
                continue
            if family == "motion" and path_end(e.path) is None:
                family = None
            changes.append((e, key, family))
            if e.visible is not None:
                first_seen.setdefault(key, e.visible)
        timeline.append((trigger, delay, changes, min(e.start for e in effects)))
    # A target first shown by an effect starts hidden; one first hidden starts shown.
    hidden = {key: shown for key, shown in first_seen.items()}
    offsets = {}
    restyled = {}
    states = [State(None, 0.0, dict(hidden), {}, [])]
    for trigger, delay, changes, at in timeline:
        played = []
        for e, key, family in changes:
            # One that only shows or hides (appear, disappear) is the cut its pages make.
            if family is not None and e.animates:
                before = restyled.get(key[1], ())
                after = None
                if family == "emphasis" and e.restyles:
                    changed = dict(before)
                    changed.update(e.restyles)
                    after = tuple(sorted(changed.items()))
                    restyled[key[1]] = after
                played.append((e, key, offsets.get(key[1], (0.0, 0.0)), before, after))
            if e.visible is not None:
                hidden[key] = not e.visible
            if family == "motion":
                dx, dy = path_end(e.path)
                ox, oy = offsets.get(key[1], (0.0, 0.0))
                offsets[key[1]] = (ox + dx * width, oy + dy * height)
        states.append(State(trigger, delay, dict(hidden), dict(offsets), played, at,
                            dict(restyled)))
    return states


def paragraphs(shape):
    out = []
    e = shape.getText().createEnumeration()
    while e.hasMoreElements():
        out.append(e.nextElement())
    return out


def hide_paragraphs(chosen):
    # Transparent text keeps its room, so the lines built so far stay where they are;
    # text that cannot be seen is not written into the PDF at all.
    for p in chosen:
        p.CharTransparence = 100
        # Runs that carry their own character attributes (as .pptx text does) keep them
        # over the paragraph's; a cursor over the paragraph reaches them all at once.
        try:
            p.getText().createTextCursorByRange(p).CharTransparence = 100
        except Exception:
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


def move_shapes(page, offsets):
    import uno
    for path, (dx, dy) in offsets.items():
        if (dx, dy) == (0.0, 0.0):
            continue
        shape = shape_at(page, path)
        at = shape.Position
        shape.Position = uno.createUnoStruct("com.sun.star.awt.Point", int(round(at.X + dx)),
                                             int(round(at.Y + dy)))


def restyle_shapes(page, restyled):
    for path, changes in restyled.items():
        shape = shape_at(page, path)
        for name, value in changes:
            try:
                if name.startswith("Char"):
                    # Over every run, whatever attributes of its own it has.
                    cursor = shape.getText().createTextCursor()
                    cursor.gotoStart(False)
                    cursor.gotoEnd(True)
                    cursor.setPropertyValue(name, value)
                else:
                    shape.setPropertyValue(name, value)
            except Exception:
                pass


def apply_state(page, hidden, offsets=None, restyled=None):
    """Leaves out of page what hidden says is not built yet; moves what paths moved, and
    gives emphasised objects the look their effects left them with."""
    move_shapes(page, offsets or {})
    restyle_shapes(page, restyled or {})
    doomed = []
    # Each shape's paragraphs are enumerated once, however many of them are left out.
    chosen = {}
    for key, left_out in hidden.items():
        if not left_out:
            continue
        if key[0] == "shape":
            doomed.append(shape_at(page, key[1]))
            continue
        chosen.setdefault(key[1], set()).update(
            [None] if key[0] == "text" else [key[2]])
    for path, indices in chosen.items():
        paras = paragraphs(shape_at(page, path))
        hide_paragraphs(paras if None in indices else
                        [p for n, p in enumerate(paras) if n in indices])
    for shape in doomed:
        try:
            shape.getParent().remove(shape)
        except Exception:
            page.remove(shape)


class SpritePages:
    """Turns copies of a slide into pages that hold one object alone, in its place."""

    def __init__(self, doc):
        self.doc = doc
        self._master = None

    def master(self):
        # One empty master for every sprite: no background, no master objects.
        if self._master is None:
            masters = self.doc.MasterPages
            self._master = masters.insertNewByIndex(masters.getCount())
            try:
                self._master.Background.FillStyle = enum("com.sun.star.drawing.FillStyle.NONE")
            except Exception:
                pass
        return self._master

    def make(self, page, key, hidden, offset, restyle=()):
        """page: a copy of the slide; key: the object; hidden: the state it is drawn in."""
        no_fill = enum("com.sun.star.drawing.FillStyle.NONE")
        no_line = enum("com.sun.star.drawing.LineStyle.NONE")
        path = key[1]
        # The target's own paragraphs as the state has them; the others left out below.
        apply_state(page, {k: v for k, v in hidden.items()
                           if k[0] != "shape" and k[1] == path and k != key},
                    {path: offset}, {path: restyle} if restyle else None)
        container = page
        for index in path:
            for i in reversed(range(container.getCount())):
                if i != index:
                    container.remove(container.getByIndex(i))
            container = container.getByIndex(0)
        shape = container
        if key[0] != "shape":
            for name, value in (("FillStyle", no_fill), ("LineStyle", no_line)):
                try:
                    shape.setPropertyValue(name, value)
                except Exception:
                    pass
            try:
                shape.Shadow = False
            except Exception:
                pass
        if key[0] == "paragraph":
            paras = paragraphs(shape)
            hide_paragraphs(paras[:key[2]] + paras[key[2] + 1:])
        page.MasterPage = self.master()
        background = self.doc.createInstance("com.sun.star.drawing.Background")
        background.FillStyle = no_fill
        page.Background = background
        for name in ("IsPageNumberVisible", "IsFooterVisible", "IsDateTimeVisible"):
            try:
                page.setPropertyValue(name, False)
            except Exception:
                pass


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


def property_values(source, names):
    try:
        return list(source.getPropertyValues(names))
    except Exception:
        values = []
        for name in names:
            try:
                values.append(source.getPropertyValue(name))
            except Exception:
                values.append(None)
        return values


def copy_properties(source, target, names, cache=None):
    """Gives target source's values of names where they differ from target's own.

    With a cache, what a source's copies need is worked out once: each copy starts alike."""
    pairs = None
    if cache is not None:
        for known, known_names, known_pairs in cache:
            if known == source and known_names == names:
                pairs = known_pairs
    if pairs is None:
        # Setting a value is slow in LibreOffice even when it changes nothing.
        pairs = [(n, v) for n, v, own in zip(names, property_values(source, names),
                                              property_values(target, names))
                 if v is not None and v != own]
        if cache is not None:
            cache.append((source, names, pairs))
    try:
        import uno
        target.setPropertyValues(tuple(n for n, _ in pairs),
                                 uno.Any("[]any", tuple(v for _, v in pairs)))
    except Exception:
        for name, value in pairs:
            try:
                target.setPropertyValue(name, value)
            except Exception:
                pass


class SlideNumberTemplate:
    """What a copy of one master's slide number shape needs, read once for all its slides."""

    SKIP = {"ZOrder", "Name", "NavigationOrder", "Transformation", "Style", "LayerID",
            "LayerName", "Visible", "Printable"}

    def __init__(self, master_shape):
        self.master_shape = master_shape
        self.position = master_shape.getPosition()
        self.size = master_shape.getSize()
        # Each piece: fixed text, or the kind of field whose value goes in its place.
        self.pieces = []
        self.last_run = None
        for n, para in enumerate(children(master_shape.getText())):
            if n:
                self.pieces.append(("text", "\n"))
            for portion in children(para):
                self.last_run = portion
                kind = field_kind(portion)
                self.pieces.append(("field", kind) if kind else ("text", portion.getString()))
        readonly = constant("com.sun.star.beans.PropertyAttribute.READONLY")
        self.names = tuple(p.Name for p in master_shape.getPropertySetInfo().getProperties()
                           if p.Name not in self.SKIP and not p.Attributes & readonly)
        self.run_names = () if self.last_run is None else tuple(
            p.Name for p in self.last_run.getPropertySetInfo().getProperties()
            if p.Name.startswith("Char") and not p.Attributes & readonly)
        # Every copy starts alike, so what the first needed set serves the rest.
        self.shape_cache = []
        self.run_cache = []

    def text(self, values):
        return "".join(values[v] if k == "field" else v for k, v in self.pieces)


# Each master's slide number shape is copied onto every slide: its settings are read once.
_slide_number_templates = []


def slide_number_template(master_shape):
    for template in _slide_number_templates:
        if template.master_shape == master_shape:
            return template
    template = SlideNumberTemplate(master_shape)
    _slide_number_templates.append(template)
    return template


def copy_slide_number_shape(doc, page, master_shape, values):
    """Puts on page a text shape like master_shape whose fields are fixed text."""
    template = slide_number_template(master_shape)
    copy = doc.createInstance("com.sun.star.drawing.TextShape")
    page.add(copy)
    copy.setPosition(template.position)
    copy.setSize(template.size)
    copy.setString(template.text(values))
    copy_properties(template.master_shape, copy, template.names, template.shape_cache)
    # Runs that carry their own character attributes (as .pptx text does) keep them.
    if template.last_run is not None:
        cursor = copy.getText().createTextCursor()
        cursor.gotoEnd(True)
        copy_properties(template.last_run, cursor, template.run_names, template.run_cache)


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
    for shape in slide_number_shapes(page.MasterPage):
        copy_slide_number_shape(doc, page, shape, values)
    page.IsPageNumberVisible = False


# [(master page, its slide number shapes)]: many slides share one master.
_master_number_shapes = []


def slide_number_shapes(master):
    for known, shapes in _master_number_shapes:
        if known == master:
            return shapes
    shapes = []
    for i in range(master.getCount()):
        shape = master.getByIndex(i)
        if shape.getShapeType() == "com.sun.star.presentation.SlideNumberShape":
            shapes.append(shape)
    _master_number_shapes.append((master, shapes))
    return shapes


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
        self.package = PackageMedia(source)

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
                # Only here: it brings in http and email, slower to load than all the rest.
                from urllib.request import url2pathname
                path = url2pathname(urllib.parse.urlparse(url).path)
                if not os.path.isfile(path):
                    return None, "its file %s is not there" % path
                shutil.copyfile(path, target)
            else:
                return None, "it is not in the deck nor in a file"
        except (OSError, KeyError, zipfile.BadZipFile) as e:
            return None, "it cannot be read from the deck (%s)" % type(e).__name__
        return name, None


class PackageMedia:
    """What a .pptx package says of its media that LibreOffice's import drops: the trims (p14),
    and from the slides' timing whether a clip hides while not playing and how many slides it
    plays across. Per slide (from 1), per media picture in the slide's drawing order:
    {"trimStart": s, "trimEnd": s cut off the end, "hideWhenStopped": bool, "slides": n}.

    Whatever cannot be read (a member too large, malformed XML, a missing part) is not known:
    that slide's clips keep LibreOffice's own description."""

    MEMBER_LIMIT = 16 << 20
    P = "{http://schemas.openxmlformats.org/presentationml/2006/main}"
    A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
    R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
    P14 = "{http://schemas.microsoft.com/office/powerpoint/2010/main}"
    RELS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
    # Slides enough for any real deck; more is damage.
    MAX_SLIDES = 100000

    def __init__(self, source):
        self.slides = {}
        if os.path.splitext(source)[1].lower() not in (".pptx", ".ppsx"):
            return
        try:
            with zipfile.ZipFile(source) as z:
                self._read(z)
        except (OSError, zipfile.BadZipFile, KeyError, ValueError, RuntimeError,
                NotImplementedError, EOFError):
            self.slides = {}

    def _xml(self, z, name):
        import xml.etree.ElementTree as ET
        try:
            info = z.getinfo(name)
            if info.file_size > self.MEMBER_LIMIT:
                return None
            with z.open(info) as f:
                data = f.read(self.MEMBER_LIMIT + 1)
            if len(data) > self.MEMBER_LIMIT:
                return None
            return ET.fromstring(data)
        except (KeyError, ET.ParseError, OSError, zipfile.BadZipFile, ValueError,
                RuntimeError, NotImplementedError, EOFError):
            return None

    def _read(self, z):
        presentation = self._xml(z, "ppt/presentation.xml")
        rels = self._xml(z, "ppt/_rels/presentation.xml.rels")
        if presentation is None or rels is None:
            return
        targets = {r.get("Id"): r.get("Target", "") for r in rels.iter(self.RELS + "Relationship")}
        ids = presentation.find(self.P + "sldIdLst")
        if ids is None:
            return
        for number, slide_id in enumerate(ids.findall(self.P + "sldId"), start=1):
            if number > self.MAX_SLIDES:
                break
            target = targets.get(slide_id.get(self.R + "id"))
            if not target:
                continue
            # Targets are relative to ppt/, or absolute within the package.
            name = target.lstrip("/") if target.startswith("/") else \
                os.path.normpath("ppt/" + target).replace(os.sep, "/")
            root = self._xml(z, name)
            if root is not None:
                self.slides[number] = self._slide(root)

    @staticmethod
    def _ms(value):
        """An ST_UniversalTimeOffset (milliseconds unless a unit says else) in seconds."""
        found = re.fullmatch(r"\s*(\d+(?:\.\d*)?|\.\d+)\s*(ms|s|min|h)?\s*", value or "")
        if not found:
            return 0.0
        scale = {"ms": 0.001, None: 0.001, "s": 1.0, "min": 60.0, "h": 3600.0}[found.group(2)]
        seconds_ = float(found.group(1)) * scale
        return round(seconds_, 3) if math.isfinite(seconds_) and seconds_ < 86400 else 0.0

    def _pictures(self, container):
        for child in container:
            if child.tag == self.P + "grpSp":
                yield from self._pictures(child)
            elif child.tag == self.P + "pic":
                nv = child.find(self.P + "nvPicPr")
                pr = None if nv is None else nv.find(self.P + "nvPr")
                if pr is not None and (pr.find(self.A + "videoFile") is not None or
                                       pr.find(self.A + "audioFile") is not None or
                                       pr.find(self.A + "quickTimeFile") is not None):
                    yield nv, pr

    def _slide(self, root):
        nodes = {}
        timing = root.find(self.P + "timing")
        for node in timing.iter(self.P + "cMediaNode") if timing is not None else ():
            target = node.find(self.P + "tgtEl/" + self.P + "spTgt")
            if target is not None and target.get("spid"):
                nodes.setdefault(target.get("spid"), node)
        out = []
        tree = root.find(self.P + "cSld/" + self.P + "spTree")
        for nv, pr in self._pictures(tree) if tree is not None else ():
            entry = {"trimStart": 0.0, "trimEnd": 0.0, "hideWhenStopped": False, "slides": 1}
            for ext in pr.findall(self.P + "extLst/" + self.P + "ext"):
                trim = ext.find(self.P14 + "media/" + self.P14 + "trim")
                if trim is not None:
                    # "end" is the time cut off the clip's end, not where it ends.
                    entry["trimStart"] = self._ms(trim.get("st"))
                    entry["trimEnd"] = self._ms(trim.get("end"))
            c_nv = nv.find(self.P + "cNvPr")
            node = nodes.get(c_nv.get("id") if c_nv is not None else None)
            if node is not None:
                entry["hideWhenStopped"] = node.get("showWhenStopped", "1") in ("0", "false")
                try:
                    entry["slides"] = min(max(int(node.get("numSld", "1")), 1), self.MAX_SLIDES)
                except ValueError:
                    pass
            out.append(entry)
        return out

    def of(self, number, count):
        """The slide's entries, when the package has as many media pictures as LibreOffice
        made media shapes (else they cannot be told apart: None)."""
        entries = self.slides.get(number)
        return entries if entries is not None and len(entries) == count else None


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
    hidden = []
    shapes = list(media_shapes(page))
    package = files.package.of(slide.number, len(shapes)) if files.package else None
    for n, shape in enumerate(shapes):
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
        entry = {"file": name, "kind": kind,
                 "rect": [round(pos.X / width, 5), round(pos.Y / height, 5),
                          round(size.Width / width, 5), round(size.Height / height, 5)],
                 "start": start, "loop": loops, "volume": volume_of(shape)}
        if package is not None:
            entry.update(package[n])
            if package[n]["hideWhenStopped"]:
                path = shape_path(page, shape)
                if path is not None:
                    hidden.append(tuple(path))
        out.append(entry)
    return out, hidden


def rect_of(page, key, offset):
    """The object's box where it starts, in fractions of the page."""
    width = float(page.Width) or 1.0
    height = float(page.Height) or 1.0
    box = shape_at(page, key[1]).BoundRect
    return [round((box.X + offset[0]) / width, 5), round((box.Y + offset[1]) / height, 5),
            round(box.Width / width, 5), round(box.Height / height, 5)]


def effect_entry(e, key, family, rect, sprite, at):
    entry = {"family": family, "preset": e.preset_id, "subtype": e.preset_sub_type,
             "start": STARTS.get(e.node_type, "with"),
             "delay": round(max(e.start - at, 0.0), 3), "duration": round(e.duration, 3),
             "accelerate": round(e.accelerate, 3), "decelerate": round(e.decelerate, 3),
             "repeat": round(e.repeat, 3), "autoReverse": e.auto_reverse,
             "target": "paragraph" if key[0] == "paragraph" else "shape",
             "sprite": sprite, "rect": rect}
    if family == "motion":
        entry["path"] = e.path
    if e.amount is not None:
        entry["amount"] = round(e.amount, 4)
    return entry


def plan_pages(states):
    """Which look each page of the slide has: the states' own, then the unders, then sprites.

    Returns (looks, page of each state, under of each state or None, sprite of each effect)
    with looks a list of ("state", State, hidden) and ("sprite", key, hidden, offset)."""
    looks = []
    state_page = []
    for i, state in enumerate(states):
        if i == 0 or state.look() != states[i - 1].look():
            looks.append(("state", state, state.hidden))
        state_page.append(len(looks) - 1)
    known = {states[0].look(): 0}
    for i, state in enumerate(states):
        known.setdefault(state.look(), state_page[i])
    under = [None]
    for i in range(1, len(states)):
        state = states[i]
        hidden = dict(state.hidden)
        for _, key, *_ in state.effects:
            hidden[key] = True
        look = state.look(hidden)
        if not state.effects or look == states[i - 1].look():
            under.append(None)
            continue
        if look not in known:
            known[look] = len(looks)
            looks.append(("state", state, hidden))
        under.append(known[look])
    sprites = {}
    sprite_of = []
    sprite_after = []

    def sprite(ident):
        if ident not in sprites:
            sprites[ident] = len(looks)
            looks.append(("sprite", ident[0], dict(ident[1]), ident[2], ident[3]))
        return sprites[ident]

    for i in range(1, len(states)):
        # An entrance's object as it comes in; any other as the state before has it.
        for e, key, offset, before, after in states[i].effects:
            drawn = states[i] if e.visible is True else states[i - 1]
            paragraphs_hidden = tuple(sorted(
                (k, v) for k, v in drawn.hidden.items() if v and k[1] == key[1] and k != key
                and k[0] != "shape"))
            sprite_of.append(sprite((key, paragraphs_hidden, offset, before)))
            sprite_after.append(None if after is None else
                                sprite((key, paragraphs_hidden, offset, after)))
    return looks, state_page, under, sprite_of, sprite_after


class DeckExpansion:
    """Duplicates each slide once per build state, under page and sprite; describes it.

    One slide at a time, in order: each slide's pages follow those of the slides before."""

    def __init__(self, doc, named_by_motion, files, plays_unasked):
        pages = doc.DrawPages
        self.doc = doc
        self.named_by_motion = named_by_motion
        self.files = files
        self.plays_unasked = plays_unasked
        self.originals = [pages.getByIndex(i) for i in range(pages.getCount())]
        self.page_number = 0
        self.sprite_pages = SpritePages(doc)

    def slide(self, number):
        """The description of slide number (from 1) and its report entries."""
        import uno
        doc = self.doc
        page_number = self.page_number
        page = self.originals[number - 1]
        slide = Slide(page, number)
        states = build_states(slide)
        media, poster_hidden = describe_media(slide, page, self.files, range(1, len(states)),
                                              self.plays_unasked)
        looks, state_page, under, sprite_of, sprite_after = plan_pages(states)
        # Boxes as the slide has them, before any copy is changed.
        rects = []
        for state in states[1:]:
            for _, key, offset, *_ in state.effects:
                try:
                    rects.append(rect_of(page, key, offset))
                except Exception:
                    rects.append(None)
        # Shapes it adds come after those the states name, so their paths hold.
        fix_slide_numbers(doc, page, number, len(self.originals))
        for _ in range(len(looks) - 1):
            # Each copy goes right after the slide; all are alike until changed below.
            doc.duplicate(page)
        # The slides before this one are done, so it sits at the page count so far.
        ordered = [doc.DrawPages.getByIndex(page_number + k) for k in range(len(looks))]
        failed = set()
        for k, look in enumerate(looks):
            if look[0] == "state":
                # A clip hidden while not playing shows no poster on any page of its slide.
                hidden = dict(look[2])
                hidden.update((("shape", path), True) for path in poster_hidden)
                apply_state(ordered[k], hidden, look[1].offsets, look[1].restyled)
            else:
                try:
                    self.sprite_pages.make(ordered[k], look[1], look[2], look[3], look[4])
                except Exception:
                    # Its effects are the cut their pages make; the rest of the deck is not
                    # lost for one object LibreOffice will not take apart.
                    failed.add(k)
            if k > 0:
                # Build pages are parts of one slide: no transition or timing of their own.
                try:
                    ordered[k].setPropertyValues(("Change", "TransitionType"),
                                                 uno.Any("[]any", (0, 0)))
                except Exception:
                    ordered[k].TransitionType = 0
                    ordered[k].Change = 0
        entries = []
        n = 0
        for i, state in enumerate(states):
            entry = {"page": page_number + state_page[i]}
            if i > 0:
                entry["trigger"] = state.trigger
                if state.trigger == "auto":
                    entry["delay"] = round(max(state.delay, 0.0), 3)
                effects = []
                for e, key, *_ in state.effects:
                    if rects[n] is None or sprite_of[n] in failed:
                        slide.note("effect \u201c%s\u201d is drawn as a cut: its object cannot "
                                   "be drawn alone" % e.name())
                    else:
                        effects.append(effect_entry(e, key, e.family(), rects[n],
                                                    page_number + sprite_of[n], state.at))
                        if sprite_after[n] is not None and sprite_after[n] not in failed:
                            effects[-1]["spriteAfter"] = page_number + sprite_after[n]
                    n += 1
                if effects:
                    entry["effects"] = effects
                if under[i] is not None:
                    entry["under"] = page_number + under[i]
            entries.append(entry)
        slide_report = list(slide.report)
        description = {"states": entries, "hidden": not bool(page.Visible)}
        if media:
            description["media"] = media
        transition = transition_of(page, slide_report, self.named_by_motion)
        if transition:
            description["transition"] = transition
        if page.Change == 1:
            after = seconds(getattr(page, "HighResDuration", None), float(page.Duration))
            description["advanceAfter"] = round(max(after, 0.0), 3)
        self.page_number = page_number + len(looks)
        return description, [{"slide": number, "effect": effect, "message": message}
                             for effect, message in slide_report]


def show_settings(doc):
    show = doc.Presentation
    # IsAutomatic holds LibreOffice's "change slides manually", whatever its name says.
    return {"loop": bool(show.IsEndless), "useTimings": not bool(show.IsAutomatic)}


def describe(doc, expand_slide):
    """The deck's description, its slides expanded by expand_slide(number) one by one."""
    count = doc.DrawPages.getCount()
    slides = []
    report = []
    for number in range(1, count + 1):
        description, notes = expand_slide(number)
        slides.append(description)
        report.extend(notes)
        # The host's time limit for the import follows this.
        print("progress %d %d" % (number, count), flush=True)
    return {"format": 1, "importer": VERSION, "show": show_settings(doc), "slides": slides,
            "report": report}


# LibreOffice runs a copy of this file in its own Python (its script provider) to expand the
# slides: there each of the thousands of property reads and sets is a call, where from this
# process each is a round trip to LibreOffice and back.
OFFICE_SCRIPT = "stepped_import.py"
OFFICE_SCRIPT_URL = ("vnd.sun.star.script:%s$expand_in_office?language=Python&location=user"
                     % OFFICE_SCRIPT)
_office_expansion = None


def expand_in_office(doc, number, settings):
    """Run by LibreOffice: expands slide number; [description, report] as JSON text.

    Slide 1 starts the deck (settings: JSON of the expansion's options); the others follow it
    in order, in the same office."""
    global _office_expansion
    if number == 1:
        options = json.loads(settings)
        _office_expansion = DeckExpansion(
            doc, options["namedByMotion"], MediaFiles(options["source"], options["media"]),
            options["playsUnasked"])
    return json.dumps(_office_expansion.slide(number))


def install_office_script(profile):
    """Puts this file where LibreOffice's script provider finds it for the given profile."""
    folder = os.path.join(profile, "user", "Scripts", "python")
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(os.path.abspath(__file__), os.path.join(folder, OFFICE_SCRIPT))


def office_expander(context, doc, settings):
    """expand_slide through LibreOffice's own Python; None where it has none (its Python
    script provider is not installed)."""
    try:
        factory = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.script.provider.MasterScriptProviderFactory", context)
        script = factory.createScriptProvider("").getScript(OFFICE_SCRIPT_URL)
    except Exception:
        return None
    if script is None:
        return None

    def expand(number):
        return json.loads(script.invoke((doc, number, settings), (), ())[0])
    return expand


# What LibreOffice's PDF export paints first on every page, whatever the page's background: the
# page's whole box in the document colour (white). Without it a page of one object is clear
# around that object, and a page with a background of its own looks the same.
PAPER_FILL = re.compile(rb"\A((?:[-\d.]+ w\n)?q [-\d. ]+ re\nW\* n\n)1 1 1 rg\n[-\d. ]+ m\n"
                        rb"(?:[-\d. ]+ l\s*)+h\nf\*\n")


def clear_paper(pdf):
    """Takes the document colour's fill off every page of pdf, by an update appended to it.

    False when the file is not as LibreOffice writes it (nothing is changed then)."""
    with open(pdf, "rb") as f:
        data = f.read()
    tail = data[-1024:]
    found = re.search(rb"startxref\s+(\d+)\s+%%EOF\s*\Z", tail)
    if not found:
        return False
    xref_at = int(found.group(1))
    table = re.compile(rb"xref\s*\n((?:\d+ \d+\s*\n(?:\d{10} \d{5} [nf]\s*\n?)*)+)trailer\s*<<",
                       re.S).match(data, xref_at)
    if not table:
        return False
    offsets = {}
    for section in re.finditer(rb"(\d+) (\d+)\s*\n((?:\d{10} \d{5} [nf]\s*\n?)*)",
                               table.group(1)):
        first = int(section.group(1))
        for n, entry in enumerate(re.findall(rb"(\d{10}) \d{5} ([nf])", section.group(3))):
            if entry[1] == b"n":
                offsets[first + n] = int(entry[0])
    trailer_at = table.end()
    trailer_end = data.find(b"startxref", trailer_at)
    trailer = data[trailer_at:trailer_end]
    size = re.search(rb"/Size (\d+)", trailer)
    root = re.search(rb"/Root (\d+ \d+ R)", trailer)
    if not size or not root:
        return False
    info = re.search(rb"/Info (\d+ \d+ R)", trailer)
    ids = re.search(rb"/ID\s*\[[^\]]*\]", trailer)

    def body(number):
        at = offsets.get(number)
        if at is None:
            return None
        m = re.compile(rb"%d 0 obj\s*" % number).match(data, at)
        return None if m is None else m.end()

    contents = set()
    for page in re.finditer(rb"/Type\s*/Page(?![s\w])", data):
        start = data.rfind(b"obj", 0, page.start())
        end = data.find(b"endobj", page.end())
        ref = re.search(rb"/Contents (\d+) 0 R", data[start:end])
        if ref:
            contents.add(int(ref.group(1)))
    changed = []
    for number in sorted(contents):
        at = body(number)
        if at is None:
            continue
        head = re.compile(rb"<<(.*?)>>\s*stream\r?\n", re.S).match(data, at)
        if not head or b"/FlateDecode" not in head.group(1):
            continue
        length = re.search(rb"/Length (\d+)(?: (\d+) R)?", head.group(1))
        if not length:
            continue
        if length.group(2) is not None:
            at_length = body(int(length.group(1)))
            value = re.compile(rb"(\d+)").match(data, at_length) if at_length else None
            if not value:
                continue
            n = int(value.group(1))
        else:
            n = int(length.group(1))
        try:
            stream = zlib.decompress(data[head.end():head.end() + n])
        except zlib.error:
            continue
        cleared, count = PAPER_FILL.subn(rb"\1", stream, count=1)
        if count:
            packed = zlib.compress(cleared)
            changed.append((number, b"%d 0 obj\n<</Length %d/Filter/FlateDecode>>\nstream\n"
                            % (number, len(packed)) + packed + b"\nendstream\nendobj\n"))
    if not changed:
        return True
    out = bytearray(b"\n")
    where = {}
    for number, text in changed:
        where[number] = len(data) + len(out)
        out += text
    xref = len(data) + len(out)
    out += b"xref\n"
    for number in sorted(where):
        out += b"%d 1\n%010d 00000 n \n" % (number, where[number])
    out += b"trailer\n<</Size " + size.group(1) + b"/Root " + root.group(1)
    if info:
        out += b"/Info " + info.group(1)
    if ids:
        out += ids.group(0)
    out += b"/Prev %d>>\nstartxref\n%d\n%%%%EOF\n" % (xref_at, xref)
    with open(pdf, "ab") as f:
        f.write(out)
    return True


def drop_effects(description):
    """Back to cuts: every build state drawn as a page, nothing animated."""
    for slide in description["slides"]:
        for state in slide["states"]:
            state.pop("effects", None)
            state.pop("under", None)


def connect(soffice, profile, pipe, process_deadline):
    import uno
    install_office_script(profile)
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


def terminate(desktop):
    try:
        desktop.terminate()
    except Exception:
        pass  # the bridge goes with the office


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
        media = output + ".media"
        expand = office_expander(context, doc, json.dumps(
            {"namedByMotion": named_by_motion, "playsUnasked": plays_unasked,
             "source": os.path.abspath(source), "media": os.path.abspath(media)}))
        if expand is None:
            # The same work over the bridge: slower, the same result.
            expand = DeckExpansion(doc, named_by_motion, MediaFiles(source, media),
                                   plays_unasked).slide
        description = describe(doc, expand)
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
        # LibreOffice shuts down while the PDF is finished here.
        terminate(desktop)
        desktop = None
        if not clear_paper(output):
            drop_effects(description)
            description["report"].append({
                "effect": "animation",
                "message": "the PDF LibreOffice wrote cannot be given clear pages, so effects "
                           "are drawn as cuts"})
        write_json(output + ".steps.json", description)
    finally:
        if desktop is not None:
            terminate(desktop)
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
