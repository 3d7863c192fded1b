import json
import os
import shutil
import time
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, unquote_to_bytes, urlsplit

import pytest

from tests.support.cli_run import one_error, ravir
from tests.support.projects import SPRITE, Project
from tests.support.orv_bytes import Frame, animation_bytes, ramp_palette
from tests.support.process_memory import outside_sanitizer

FOLDERS = ["heroes", "monsters", "monsters/big", "odd #1 & co"]


def frames_of(i: int) -> list[Frame]:
    """A few frames of sizes and offsets that differ from one animation to the next."""
    return [Frame(width=3 + (i + k) % 5, rows=[[(k % 2, [i % 200 + 1] * 2)]] * (1 + (i + k) % 4),
                  x_offset=k - i % 3, y_offset=(i * k) % 5 - 2) for k in range(1 + i % 4)]


@pytest.fixture(scope="module")
def gallery(tmp_path_factory):
    """A game of 33 animations (one with a background, one with a shadow frame, one
    cut within its header) and the gallery of its anim folder."""
    project = Project(tmp_path_factory.mktemp("game"))
    project.palette()
    project.palette("b.pal", colors=ramp_palette()[::-1])
    expected = {}  # the card's path -> the widths of the frames the page shows
    for i in range(30):
        name = f"{FOLDERS[i % 4]}/a{i}.orv"
        frames = frames_of(i)
        project.animation(frames, name=name, location="pal/b.pal" if i % 5 == 0 else "pal/a.pal")
        expected[name] = [f.width for f in frames]
    project.animation(SPRITE, name="heroes/shadowed.orv")
    expected["heroes/shadowed.orv"] = [4, 3]
    project.animation(frames_of(3) + [Frame(width=9, rows=[[(0, [7] * 9)]] * 6)], name="scene.orv", background=1,
                      speed=100)
    expected["scene.orv"] = [f.width for f in frames_of(3)] + [9]
    broken = project.root / "anim" / "monsters" / "broken.orv"
    broken.write_bytes(animation_bytes(SPRITE)[:6])
    site = project.root / "site"
    result = ravir("gallery", project.root / "anim", "-o", site, "-j", 2, ok=False)
    one_error(result, broken, "is not an animation")
    return site, expected, "monsters/broken.orv"


@pytest.fixture(scope="module")
def browser():
    webdriver = pytest.importorskip("selenium.webdriver", reason="Selenium is not installed")
    found = {name: shutil.which(name) for name in ("chromium", "chromedriver")}
    if not all(found.values()):
        pytest.skip("Chromium and its driver are not installed (`make test` installs them with apt-get)")
    options = webdriver.ChromeOptions()
    options.binary_location = found["chromium"]
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,900"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = webdriver.ChromeService(executable_path=found["chromedriver"], env=outside_sanitizer())
    driver = webdriver.Chrome(options=options, service=service)
    yield driver
    driver.quit()


def open_page(driver, path: Path) -> None:
    """Opens a page with every image loaded, lazy ones included, and checks that the
    browser reported no error."""
    driver.get(path.as_uri())
    driver.execute_script("document.querySelectorAll('img[loading=lazy]').forEach(i => { i.loading = 'eager'; })")
    from selenium.webdriver.support.ui import WebDriverWait
    WebDriverWait(driver, 20).until(lambda d: d.execute_script(
        "return Array.from(document.images).every(i => i.complete)"))
    errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == [], path


def shown_cards(driver) -> set[str]:
    return set(driver.execute_script(
        "return Array.from(document.querySelectorAll('.card'), c => c.checkVisibility() ? c.dataset.animation : '')"
    )) - {""}


def test_the_index_has_a_card_per_animation_and_filters_them(gallery, browser):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select
    site, expected, broken = gallery
    open_page(browser, site / "index.html")
    everything = set(expected) | {broken}
    assert shown_cards(browser) == everything
    previews = browser.execute_script("return Array.from(document.querySelectorAll('.card img'), i => i.naturalWidth)")
    assert len(previews) == len(expected) and all(previews)
    [card] = browser.find_elements(By.CSS_SELECTOR, ".card[data-error]")
    assert card.get_attribute("data-animation") == broken
    assert "is not an animation" in card.get_attribute("data-error") and "broken" in card.get_attribute("class")

    search = browser.find_element(By.CSS_SELECTOR, 'input[type="search"]')
    search.send_keys("A1")  # a1, a10 to a19, in any folder
    assert shown_cards(browser) == {p for p in everything if "a1" in p}
    search.send_keys(" big")
    assert shown_cards(browser) == {p for p in everything if "a1" in p and "big" in p}
    search.send_keys(Keys.CONTROL, "a", Keys.NULL, Keys.BACKSPACE)
    Select(browser.find_element(By.ID, "folder")).select_by_value("anim/monsters")
    assert shown_cards(browser) == {p for p in everything if p.startswith("monsters/")}


def test_each_page_shows_every_frame_decoded(gallery, browser):
    site, expected, broken = gallery
    for path, widths in expected.items():
        open_page(browser, site / "pages" / "anim" / Path(path).with_suffix(".html"))
        table = browser.execute_script(
            "return Array.from(document.querySelectorAll('table.frames tbody tr'), "
            "r => r.querySelector('img')?.naturalWidth)")
        assert table == widths, path
        assert browser.execute_script("return Array.from(document.images).every(i => i.naturalWidth > 0)"), path
        colors = browser.execute_script("return Array.from(document.querySelectorAll('.swatch i'), i => i.title)")
        assert len(colors) == 256
    open_page(browser, site / "pages" / "anim" / "heroes" / "a4.html")  # drawn with pal/a.pal
    assert browser.find_elements("css selector", ".swatch i")[5].get_attribute("title") == "5 #05fa02"
    open_page(browser, site / "pages" / "anim" / Path(broken).with_suffix(".html"))
    assert "is not an animation" in browser.find_element("css selector", ".error").text


def test_the_player_plays_at_the_animations_speed(gallery):
    assert 'data-duration="100"' in (gallery[0] / "pages" / "anim" / "scene.html").read_text()


def test_the_player_pauses_and_steps_over_the_background(gallery, browser):
    open_page(browser, gallery[0] / "pages" / "anim" / "scene.html")  # 4 frames, then the background

    def shown() -> list[str]:
        return browser.execute_script("return Array.from(document.querySelectorAll('.stage img'))"
                                      ".filter(i => i.checkVisibility({visibilityProperty: true}))"
                                      ".map(i => i.dataset.frame ?? 'behind')")

    browser.find_element("css selector", '[data-action="play"]').click()  # it plays at first: pause
    behind, frame = shown()
    time.sleep(0.3)  # three frames' time
    assert shown() == ["behind", frame]
    for step in (1, 1, 1, 1, -1):
        browser.find_element("css selector", f'[data-action="{"next" if step > 0 else "previous"}"]').click()
        frame = str((int(frame) + step) % 4)
        assert shown() == ["behind", frame]


class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        self.targets += [value for name, value in attrs if name in ("href", "src")]


def test_every_link_names_a_file_of_the_site(gallery):
    site = gallery[0].resolve()
    pages = list(site.rglob("*.html"))
    assert len(pages) == 1 + len(gallery[1]) + 1
    for page in pages:
        links = Links()
        links.feed(page.read_text())
        assert links.targets, page
        for target in links.targets:
            parts = urlsplit(target)
            assert not parts.scheme and not parts.netloc, (page, target)
            resolved = (page.parent / unquote(parts.path)).resolve()
            assert resolved.is_relative_to(site) and resolved.is_file(), (page, target)


def summary(result) -> str:
    assert result.stdout == ""
    return result.stderr.splitlines()[-1].rsplit(": ", 1)[1]


@pytest.mark.parametrize("change, redone, gone", [
    ("animation", {"y"}, {"y_001.png", "y_002.png", "y_003.png"}),  # y now has one frame: its other PNGs go
    ("palette", {"x", "z"}, set()),
    ("removal", set(), {"z_000.png", "z_001.png", "z_002.png", "z_003.png", "z.apng", "z.json", "z.html"}),
])
def test_a_second_run_redoes_only_what_changed(project, tmp_path, change, redone, gone):
    project.palette("b.pal", colors=ramp_palette()[::-1])
    for name, palette in (("x", "a"), ("y", "b"), ("z", "a")):
        project.animation(frames_of(3), name=f"{name}.orv", location=f"pal/{palette}.pal")
    site = tmp_path / "site"
    assert summary(ravir("gallery", project.root / "anim", "-o", site)) == "3 animations, 3 redone, 0 broken"
    pages = {name: site / "pages" / "anim" / f"{name}.html" for name in "xyz"}
    written = {name: page.stat().st_mtime_ns for name, page in pages.items()}
    before = {p.name for p in site.rglob("*")}

    if change == "animation":
        project.animation(frames_of(0), name="y.orv", location="pal/b.pal")
    elif change == "palette":
        palette = project.palette(colors=ramp_palette()[::-1])
        os.utime(palette, ns=(palette.stat().st_atime_ns, palette.stat().st_mtime_ns + 10**9))
    else:
        (project.root / "anim" / "z.orv").unlink()
    again = ravir("gallery", project.root / "anim", "-o", site)

    left = 2 if change == "removal" else 3
    assert summary(again) == f"{left} animations, {len(redone)} redone, 0 broken"
    assert {p.name for p in site.rglob("*")} == before - gone
    for name, page in pages.items():
        if page.exists():
            assert (page.stat().st_mtime_ns != written[name]) == (name in redone), name
    index = (site / "index.html").read_text()
    carded = [name for name in "xyz" if f'data-animation="{name}.orv"' in index]
    assert carded == [name for name in "xyz" if pages[name].exists()]


def test_odd_names_get_pages_whose_links_resolve(project, tmp_path):
    for name in (".orv", "..orv", os.fsdecode(b"n\xa1.orv")):
        project.animation(SPRITE, name=name)
    site = tmp_path / "site"
    assert summary(ravir("gallery", project.root / "anim", "-o", site)) == "3 animations, 3 redone, 0 broken"
    for page in site.rglob("*.html"):
        links = Links()
        links.feed(page.read_text())
        for target in links.targets:
            assert (page.parent / os.fsdecode(unquote_to_bytes(target))).resolve().is_file(), (page, target)


@pytest.mark.parametrize("listed", ["index.html", "gallery-state.json", "assets/index.js", "../outside.txt",
                                    "/etc/hostname"])
def test_a_state_file_names_nothing_but_its_own_pages_and_files(project, tmp_path, listed):
    project.animation(SPRITE)
    site = tmp_path / "site"
    ravir("gallery", project.root / "anim", "-o", site)
    (tmp_path / "outside.txt").write_text("mine")
    state = json.loads((site / "gallery-state.json").read_text())
    state["entries"][0]["files"].append(listed)
    (site / "gallery-state.json").write_text(json.dumps(state))
    (project.root / "anim" / "x.orv").unlink()
    project.animation(SPRITE, name="y.orv")
    ravir("gallery", project.root / "anim", "-o", site)
    assert all((site / name).is_file() for name in ("index.html", "gallery-state.json", "assets/index.js"))
    assert (tmp_path / "outside.txt").exists()
