"""The HTML of a gallery: the index of cards, and a page per animation.

Pages link only to files of the site, by relative paths, and load their style and
script from the site's assets: they open from file:// without a server or network."""

from __future__ import annotations

from dataclasses import dataclass
from html import escape

from ravir_tools.commands.gallery.site import ASSETS, INDEX, Place, href
from ravir_tools.wording import counted

PLAYER_BOX = 320  # the player enlarges small animations by whole steps up to about this size


def document(page: str, title: str, body: str, script: str) -> str:
    def asset(name: str) -> str:
        return escape(href(page, f"{ASSETS}/{name}"))

    return readable(f'<!doctype html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
                    f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
                    f'<title>{escape(title)}</title>\n<link rel="stylesheet" href="{asset("gallery.css")}">\n'
                    f'<link rel="icon" href="{asset("icon.svg")}">\n</head>\n<body>\n{body}\n'
                    f'<script src="{asset(script)}"></script>\n</body>\n</html>\n')


def readable(text: str) -> str:
    """`text` with the bytes of names that are not UTF-8 shown as U+FFFD, as a
    browser would show them: links keep them quoted, so that they still resolve."""
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def frames_text(card: dict) -> str:
    text = counted(card["frames"], "frame")
    return text + " (the last a background)" if card["background"] else text


def facts(card: dict) -> str:
    parts = [counted(card["frames"], "frame")] + (["background"] if card["background"] else [])
    if card["size"]:
        parts.append("{}×{}".format(*card["size"]))
    parts.append(card["palette"] if card["palette"] is not None else "palette name not UTF-8")
    return " · ".join(escape(part) for part in parts)


@dataclass
class Broken:
    """An animation that could not be read: its card and page say why."""

    place: Place
    error: str

    def card(self) -> dict:
        return {"animation": self.place.animation, "folder": self.place.folder, "name": self.place.file_name,
                "page": self.place.page, "error": self.error}

    def html(self) -> str:
        body = (f"{header(self.place)}\n<main>\n<p class=\"error\" role=\"alert\">{escape(self.error)}</p>\n"
                "<p>The file cannot be read as an animation: it has no frames to show.</p>\n</main>")
        return document(self.place.page, self.place.animation, body, "page.js")


@dataclass
class View:
    """What the page of an animation shows, and its card."""

    place: Place
    error: str | None  # why it has no rendered files, if it has none
    summary: dict  # as `ravir info --json` describes it
    frame_pngs: dict[int, str]  # frame index -> its PNG
    other_files: list[str]  # the sheet, its atlas, the preview, ...
    preview: str | None  # the animated preview the card shows
    sizes: list[tuple[int, int]]  # of each frame's PNG
    layout: tuple[tuple[int, int], list] | None  # the aligned canvas and each frame's corner on it
    shown: list[int]  # the frames the animation plays, in turn
    behind: int | None  # the frame drawn behind each of them
    duration: int  # milliseconds per frame, as in the preview
    colors: list[tuple[int, int, int, int]]
    messages: list[str]

    def card(self) -> dict:
        summary = self.summary
        return {"animation": self.place.animation, "folder": self.place.folder, "name": self.place.file_name,
                "page": self.place.page, "error": self.error, "frames": summary["frame_count"],
                "background": summary["background"], "size": self.layout[0] if self.layout else None,
                "palette": summary["palette_location"], "preview": self.preview}

    def link(self, target: str) -> str:
        return escape(href(self.place.page, target))

    def html(self) -> str:
        card = self.card()
        parts = [header(self.place), "<main>"]
        if self.error:
            parts.append(f'<p class="error" role="alert">{escape(self.error)}</p>')
        parts += ['<div class="columns"><div>', self.facts(card), self.player(), self.message_list(), self.swatch(),
                  self.file_list(), "</div><div>", self.frame_table(), "</div></div></main>"]
        return document(self.place.page, self.place.animation, "\n".join(p for p in parts if p), "page.js")

    def facts(self, card: dict) -> str:
        summary = self.summary
        found = summary["palette_found"]
        rows = [("Folder", self.place.folder), ("Frames", frames_text(card)), ("Speed", str(summary["speed"])),
                ("Aligned size", "{}×{}".format(*card["size"]) if card["size"]
                 else "not rendered" if self.error else "no frame has pixels"),
                ("Palette", card["palette"] if card["palette"] is not None else "(its name is not UTF-8)"),
                ("Palette file", found if found else "not found")]
        items = "".join(f"<dt>{escape(name)}</dt><dd>{escape(value)}</dd>" for name, value in rows)
        return f'<dl class="facts">{items}</dl>'

    def player(self) -> str:
        if self.layout is None:
            return ""
        (width, height), corners = self.layout
        zoom = max(1, min(8, PLAYER_BOX // max(width, height)))

        def image(index: int, role: str) -> str:
            if corners[index] is None or index not in self.frame_pngs:
                return ""
            x, y = corners[index]
            w, h = self.sizes[index]
            return (f'<img {role} src="{self.link(self.frame_pngs[index])}" alt="" '
                    f'style="left:{x * zoom}px;top:{y * zoom}px;width:{w * zoom}px;height:{h * zoom}px">')

        behind = image(self.behind, 'class="behind"') if self.behind is not None else ""
        frames = "".join(image(i, f'data-frame="{i}"') for i in self.shown)
        sequence = ",".join(map(str, self.shown))
        return (f'<section><h2>Animation</h2>\n<figure class="player" data-sequence="{sequence}" '
                f'data-duration="{self.duration}">\n'
                f'<div class="stage checker" style="width:{width * zoom}px;height:{height * zoom}px">'
                f"{behind}{frames}</div>\n<figcaption>"
                '<button type="button" data-action="previous" title="previous frame">◀</button>'
                '<button type="button" data-action="play" aria-pressed="true">Pause</button>'
                '<button type="button" data-action="next" title="next frame">▶</button>'
                f'<output></output> <span class="muted">shown {zoom}× </span></figcaption>\n</figure></section>')

    def message_list(self) -> str:
        if not self.messages:
            return '<section><h2>Messages</h2><p class="muted">The file loaded without a message.</p></section>'
        items = "".join(f"<li>{escape(message)}</li>" for message in self.messages)
        return f'<section><h2>Messages</h2><ul class="messages">{items}</ul></section>'

    def frame_table(self) -> str:
        rows = []
        for frame in self.summary["frames"]:
            index = frame["index"]
            png = self.frame_pngs.get(index)
            w, h = self.sizes[index]
            image = (f'<a href="{self.link(png)}"><img src="{self.link(png)}" width="{w}" height="{h}" '
                     f'loading="lazy" decoding="async" alt="frame {index}"></a>' if png else "—")
            kind = "background" if index == self.behind else "yes" if frame["shadow"] else "no"
            thumb = "thumb checker" if png else "thumb"
            rows.append(f'<tr id="frame-{index}"><td>{index}</td><td class="{thumb}">{image}</td>'
                        f'<td>{frame["width"]}×{frame["height"]}</td><td>{frame["offset_x"]}, {frame["offset_y"]}</td>'
                        f"<td>{kind}</td><td>{frame['rows']}</td><td>{frame['runs']}</td></tr>")
        return ('<section><h2>Frames</h2><table class="frames"><thead><tr><th>Frame</th><th>Image</th><th>Size</th>'
                "<th>Offsets (x, y)</th><th>Shadow</th><th>Rows</th><th>Runs</th></tr></thead><tbody>"
                + "\n".join(rows) + "</tbody></table></section>")

    def swatch(self) -> str:
        if not self.colors:
            return ""
        # The page's script draws the cells: a page per animation, each with 256 of them,
        # would otherwise make the pages' markup the bulk of a site's size.
        colors = "".join(f"{r:02x}{g:02x}{b:02x}{a:02x}" for r, g, b, a in self.colors)
        return f'<section><h2>Palette</h2><div class="swatch checker" data-colors="{colors}"></div></section>'

    def file_list(self) -> str:
        if not self.frame_pngs and not self.other_files:
            return ""
        items = [f'<li><a href="{self.link(name)}">{escape(name.rsplit("/", 1)[-1])}</a></li>'
                 for name in self.other_files]
        items.append(f"<li>{len(self.frame_pngs)} frame PNGs, linked from the table above</li>")
        return f'<section><h2>Files</h2><ul class="files">{"".join(items)}</ul></section>'


def header(place: Place) -> str:
    return (f'<header class="top"><nav><a href="{escape(href(place.page, INDEX))}">All animations</a> / '
            f"{escape(place.folder)}</nav><h1>{escape(place.file_name)}</h1></header>")


def index(cards: list[dict]) -> str:
    """The index: the cards grouped by folder, with a search box and filters."""
    folders: dict[str, list[dict]] = {}
    for card in cards:
        folders.setdefault(card["folder"], []).append(card)
    broken = sum(1 for card in cards if card["error"])
    options = "".join(f'<option value="{escape(folder)}">{escape(folder)} ({len(group)})</option>'
                      for folder, group in folders.items())
    sections = "\n".join(
        f'<section class="folder" data-folder="{escape(folder)}"><h2>{escape(folder)} '
        f'<span class="muted">{len(group)}</span></h2>\n<div class="cards">\n'
        + "\n".join(map(index_card, group)) + "\n</div></section>"
        for folder, group in folders.items())
    body = (f'<header class="top"><h1>{counted(len(cards), "animation")}</h1>\n<div class="filters" role="search">'
            '<input type="search" id="search" placeholder="Filter by path" aria-label="Filter by path" '
            'autocomplete="off">'
            f'<select id="folder" aria-label="Folder"><option value="">All folders</option>{options}</select>'
            f'<label><input type="checkbox" id="broken-only"> only broken ({broken})</label>'
            f'<output id="shown">{len(cards)} shown</output></div></header>\n<main>\n{sections}\n</main>')
    return document(INDEX, "Animations", body, "index.js")


def index_card(card: dict) -> str:
    page = escape(href(INDEX, card["page"]))
    attributes = f'data-animation="{escape(card["animation"])}" data-folder="{escape(card["folder"])}"'
    if card["error"]:
        attributes += f' data-error="{escape(card["error"])}"'
    if card.get("preview"):
        width, height = card["size"]
        picture = (f'<img src="{escape(href(INDEX, card["preview"]))}" width="{width}" height="{height}" '
                   'loading="lazy" decoding="async" alt="">')
    else:
        picture = '<span class="nothing">no preview</span>'
    details = f'<p>{facts(card)}</p>' if "frames" in card else ""
    error = f'<p class="error">{escape(card["error"])}</p>' if card["error"] else ""
    return (f'<article class="card{" broken" if card["error"] else ""}" {attributes}>'
            f'<a href="{page}"><span class="picture checker">{picture}</span>'
            f'<b>{escape(card["name"])}</b></a>{details}{error}</article>')
