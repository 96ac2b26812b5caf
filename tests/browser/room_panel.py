#!/usr/bin/python3
"""Room panels in headless Chromium, driven by Selenium.

  room_panel.py SHOTS HALL LOBBY FULL
      HALL and LOBBY are two room panels' addresses (with their tokens), FULL
      the full page's. Prints what it saw and did as JSON lines, each followed
      by "go" on stdin once the test has looked at the device; pictures of the
      hall's page at tablet and phone sizes go into the folder SHOTS.
"""
import os
import sys

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from web_panel import browser, named, say, wait

SIZES = {"tablet": (1180, 820), "phone": (390, 844)}


def ready(driver, fader):
    try:
        wait(driver, lambda: named(driver, fader).get_attribute("aria-valuetext") and named(driver, fader).is_enabled())
    except Exception:
        sys.stderr.write("%s not ready: status %r, console %r\n" % (fader, driver.find_element(By.ID, "status").text
                                                                    if driver.find_elements(By.ID, "status") else None,
                                                                    driver.get_log("browser")))
        raise


def layout(driver):
    """What a wall tablet or a phone needs: nothing beyond the screen's width, touch-sized controls."""
    return driver.execute_script("""
        const small = [...document.querySelectorAll('main button, main input')]
            .filter(e => e.getBoundingClientRect().height < 44).map(e => e.getAttribute('aria-label'));
        return {overflow: document.documentElement.scrollWidth > innerWidth, small};""")


def main():
    shots, hall_url, lobby_url, full_url = sys.argv[1:5]
    hall = browser(True, SIZES["tablet"])
    lobby = browser(True, SIZES["phone"])
    full = browser(True)
    try:
        hall.get(hall_url)
        ready(hall, "Lectern")
        sections = [s.text for s in hall.find_elements(By.CSS_SELECTOR, "main section h2")]
        controls = sorted(e.get_attribute("aria-label") for e in hall.find_elements(By.CSS_SELECTOR, "main button, main input"))
        say(sections=sections, controls=controls, title=hall.title)

        lectern = named(hall, "Lectern")
        lectern.send_keys(Keys.ARROW_LEFT * 4)  # four steps down the scale
        wait(hall, lambda: named(hall, "Lectern level").text == lectern.get_attribute("aria-valuetext") != "-10dB")
        say(moved="Lectern", shown=lectern.get_attribute("aria-valuetext"))

        named(hall, "Music CD").click()
        wait(hall, lambda: named(hall, "Music CD").get_attribute("aria-pressed") == "true")
        say(pressed="Music CD")

        # Three hands on the one microphone: each page moves its own fader.
        lobby.get(lobby_url)
        full.get(full_url)
        ready(lobby, "Lobby mic")
        ready(full, "MIC 1 gain")
        faders = [(hall, "Lectern", Keys.ARROW_RIGHT), (lobby, "Lobby mic", Keys.ARROW_LEFT), (full, "MIC 1 gain", Keys.ARROW_UP)]
        for _ in range(3):
            for driver, fader, key in faders:
                named(driver, fader).send_keys(key * 2)
        shown = lambda: [named(d, f).get_attribute("aria-valuetext") for d, f, _ in faders]
        wait(hall, lambda: len(set(shown())) == 1)
        say(in_step=shown())

        for name, size in SIZES.items():
            hall.set_window_size(*size)
            hall.get(hall_url)
            ready(hall, "Lectern")
            hall.save_screenshot(os.path.join(shots, "room-%s.png" % name))
            say(size=name, **layout(hall))
        logs = [e for d in (hall, lobby) for e in d.get_log("browser") if e["level"] == "SEVERE"]
        if logs:
            say(console=logs)
            return 1
        return 0
    finally:
        for d in (hall, lobby, full):
            d.quit()


if __name__ == "__main__":
    sys.exit(main())
