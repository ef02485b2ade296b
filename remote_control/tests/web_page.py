#!/usr/bin/python3
"""Opens a controller's web remote page in headless Chromium and uses it as an operator would.

    web_page.py corvane|kestro URL [TOKEN]
    web_page.py kestro URL --watch-media

Prints one line per thing seen ("seen ..."), and waits for a line on standard input
("go") between the steps the test checks on the controller's side. Exits 1 with the reason
when the page does not do what it should, 0 when all went as expected.

With --watch-media it only watches the clip's countdown the page shows, printing it as the
remote's text state would tell it (media="playing" remaining=4) each time it changes, until
a line "stop" (or the end of standard input) comes.
"""

import json
import os
import re
import select
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def say(*words):
    print(" ".join(str(w) for w in words), flush=True)


def fail(why):
    say("failed", why)
    sys.exit(1)


def wait_for(what, check, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        try:
            value = check()
            if value:
                return value
        except Exception:  # the page is still being built
            pass
        time.sleep(0.1)
    fail("waited in vain for " + what)


def proceed(driver=None, name=""):
    # WEB_PAGE_SHOTS=<folder> keeps a picture of the page at each step, to look at its layout.
    shots = os.environ.get("WEB_PAGE_SHOTS")
    if shots and driver is not None:
        driver.save_screenshot(os.path.join(shots, name + ".png"))
    if sys.stdin.readline().strip() != "go":
        fail("the test stopped")


def main():
    program, url = sys.argv[1], sys.argv[2]
    watch = len(sys.argv) > 3 and sys.argv[3] == "--watch-media"
    token = sys.argv[3] if len(sys.argv) > 3 and not watch else ""
    profile = tempfile.mkdtemp(prefix="web-remote-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage",
                     # a phone held upright; WEB_PAGE_WINDOW=1024,768 for a tablet
                     "--window-size=" + os.environ.get("WEB_PAGE_WINDOW", "412,915"),
                     "--user-data-dir=" + profile):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        if watch:
            watch_media(driver, url)
            return
        run(driver, program, url, token)
        # The page loaded nothing it was not allowed to, and threw nothing.
        problems = [entry["message"] for entry in driver.get_log("browser")
                    if entry["level"] == "SEVERE" and "favicon" not in entry["message"]]
        if problems:
            fail("the browser reported: " + json.dumps(problems))
        say("done")
    finally:
        driver.quit()


def tag(driver, image):
    return driver.find_element(By.ID, image).get_attribute("data-tag") or ""


def text(driver, element):
    return driver.find_element(By.ID, element).text


def run(driver, program, url, token):
    driver.get(url)
    if token:
        # Off the loopback the page asks for the token once, and keeps it.
        wait_for("the token prompt", lambda: driver.find_element(By.ID, "token").is_displayed())
        driver.find_element(By.ID, "token-text").send_keys(token)
        driver.find_element(By.CSS_SELECTOR, "#token button").click()
    wait_for("the live link", lambda: "up" in driver.find_element(By.ID, "link").get_attribute("class"))
    say("seen live", text(driver, "position"))
    if token:
        driver.refresh()
        wait_for("the live link after a reload",
                 lambda: "up" in driver.find_element(By.ID, "link").get_attribute("class"))
        if driver.find_element(By.ID, "token").is_displayed():
            fail("the token was asked for again")
        say("seen token kept")

    now, upcoming = ("screen1-current", "screen1-next") if program == "corvane" \
        else ("slide-current", "slide-next")
    before = wait_for("the pictures", lambda: tag(driver, now) and tag(driver, upcoming)
                      and (tag(driver, now), tag(driver, upcoming)))
    say("seen pictures", before[0], before[1])
    position = text(driver, "position")
    proceed(driver, program + "-before")
    driver.find_element(By.ID, "next").click()
    moved = wait_for("the page to move", lambda: text(driver, "position") != position
                     and text(driver, "position"))
    say("seen moved", moved)
    # What was next is on screen now.
    wait_for("the next picture to become the current one", lambda: tag(driver, now) == before[1])
    say("seen pictures moved", tag(driver, now), tag(driver, upcoming))
    proceed(driver, program + "-after")

    if program == "corvane":
        wait_for("the script's lines", lambda: driver.find_elements(By.CSS_SELECTOR, "#lines li"))
        driver.find_element(By.CSS_SELECTOR, '#lines li[data-line="1"] button').click()
        wait_for("line 1", lambda: text(driver, "position").startswith("Line 1 "))
        say("seen line", text(driver, "position"))
    else:
        field = driver.find_element(By.ID, "goto-slide")
        field.clear()
        field.send_keys("4")
        driver.find_element(By.CSS_SELECTOR, "#goto button").click()
        wait_for("slide 4", lambda: text(driver, "position").startswith("slide 4 "))
        say("seen slide", text(driver, "position"))
        proceed()
        # The program's remote goes away and comes back: the page says so, and reconnects.
        link = lambda: driver.find_element(By.ID, "link").get_attribute("class")
        wait_for("the link to be lost", lambda: "down" in link())
        say("seen lost")
        wait_for("the link to come back", lambda: "up" in link(), timeout=60)
        say("seen back", text(driver, "position"))
        # Its tries while the program was away are in the browser's log: those are expected.
        driver.get_log("browser")
    proceed()


def watch_media(driver, url):
    driver.get(url)
    wait_for("the live link", lambda: "up" in driver.find_element(By.ID, "link").get_attribute("class"))
    shown = None
    while not select.select([sys.stdin], [], [], 0)[0]:
        now = text(driver, "media")
        if now != shown:
            shown = now
            if not now:
                say('media="none" remaining=0')
            else:
                left = re.search(r"Clip playing: (?:(\d+):)?(\d+)(?: s)? left", now)
                if not left:
                    fail("the countdown reads " + now)
                say('media="playing" remaining=%d' % (int(left.group(1) or 0) * 60 + int(left.group(2))))
        time.sleep(0.05)


if __name__ == "__main__":
    main()
