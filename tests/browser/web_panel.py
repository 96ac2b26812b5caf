#!/usr/bin/python3
"""The web panel in headless Chromium, driven by Selenium.

  web_panel.py URL              the browser test's half: checks what the page
                                shows, acts, prints what it did as JSON lines,
                                each followed by "go" on stdin once
                                the test has looked at the device
  web_panel.py --screenshot FILE URL   a picture of the page (under Xvfb: not headless)
  web_panel.py --token URL      against a private server whose token is s3cret:
                                a token from the address is kept only once taken
"""
import json
import os
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait


def browser(headless, size=(1400, 1000)):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    if headless:
        options.add_argument("--headless=new")
    for arg in ("--no-sandbox", "--disable-dev-shm-usage", "--window-size=%d,%d" % size, "--lang=en-US"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def named(driver, name):
    return driver.find_element(By.CSS_SELECTOR, '[aria-label="%s"]' % name)


def wait(driver, what, timeout=15):
    return WebDriverWait(driver, timeout).until(lambda d: what())


def say(**fields):
    """Reports a step, then waits until the test has looked at the device."""
    print(json.dumps(fields), flush=True)
    if sys.stdin.readline().strip() != "go":
        sys.exit(1)


def token_page(base):
    """A refused token is told apart from none, and never replaces the kept one."""
    driver = browser(headless=True)
    try:
        kept = lambda: driver.execute_script("return localStorage.getItem('kestra-token')")
        shown = lambda: driver.find_element(By.ID, "status").text
        asked = lambda: driver.find_element(By.ID, "token-form").is_displayed()
        driver.get(base + "?token=WRONG")
        wait(driver, lambda: "wrong token" in shown() and asked())
        assert kept() is None, "a refused token was kept"
        driver.find_element(By.ID, "token-input").send_keys("s3cret", Keys.ENTER)
        wait(driver, lambda: named(driver, "MIC 1 gain").get_attribute("aria-valuetext") and kept() == "s3cret" and not asked())
        driver.get(base + "?token=WRONG")
        wait(driver, lambda: "wrong token" in shown())
        assert kept() == "s3cret", "the kept token was replaced by a refused one"
        driver.execute_script("localStorage.clear()")
        driver.get(base)
        wait(driver, lambda: "a token is needed" in shown() and asked())
        print(json.dumps({"token": "kept once taken"}), flush=True)
        return 0
    finally:
        driver.quit()


def main():
    if sys.argv[1] == "--token":
        return token_page(sys.argv[2])
    if sys.argv[1] == "--screenshot":
        driver = browser(headless="DISPLAY" not in os.environ)
        driver.get(sys.argv[3])
        wait(driver, lambda: named(driver, "MIC 1 gain").get_attribute("aria-valuetext"))
        driver.save_screenshot(sys.argv[2])
        driver.quit()
        return 0
    driver = browser(headless=True)
    try:
        driver.get(sys.argv[1])
        # The page shows the device's state as read.
        wait(driver, lambda: named(driver, "MIC 3 gain").get_attribute("aria-valuetext") == "-10dB")
        say(line=named(driver, "Line gain in dB").get_attribute("value"),
            mic3_mute=named(driver, "MIC 3 mute").get_attribute("aria-pressed"))
        mute = named(driver, "MIC 3 mute")
        mute.click()
        wait(driver, lambda: mute.get_attribute("aria-pressed") == "true")
        # Muted as the window shows it: "mute" and an empty bar.
        wait(driver, lambda: named(driver, "MIC 3 gain in dB").get_attribute("value") == "mute"
             and named(driver, "MIC 3 level").get_attribute("value") == "0")
        say(clicked="MIC 3 mute")
        fader = named(driver, "MIC 2 gain")
        ActionChains(driver).click_and_hold(fader).move_by_offset(0, -40).move_by_offset(0, -40).release().perform()
        # Released: the fader shows what the device confirmed.
        wait(driver, lambda: fader.get_attribute("aria-valuetext") != "-10dB")
        say(dragged="MIC 2 gain", value=79 - int(fader.get_attribute("value")))
        edit = named(driver, "MIC 4 gain in dB")
        for typed in ("", "loud", "-21dB"):
            edit.send_keys(Keys.CONTROL, "a")
            edit.send_keys(typed or Keys.DELETE, Keys.ENTER)
        wait(driver, lambda: named(driver, "MIC 4 gain").get_attribute("aria-valuetext") == "-21dB")
        say(typed="MIC 4 gain in dB")
        # Another client and the device itself changed things.
        wait(driver, lambda: named(driver, "Line source CD").is_selected())
        wait(driver, lambda: "lit" in named(driver, "Ducking active lamp").get_attribute("class"))
        wait(driver, lambda: "lit" in named(driver, "MIC 4 ducking lamp").get_attribute("class"))
        threshold = driver.find_element(By.CSS_SELECTOR, 'output[for="setting-threshold"]')
        wait(driver, lambda: threshold.get_attribute("textContent").endswith(" mV)"))
        driver.find_element(By.ID, "lang-de").click()
        wait(driver, lambda: named(driver, "Voreinstellung number") is not None)
        # The active language is marked, not only announced.
        css = [driver.find_element(By.ID, b).value_of_css_property("background-color") for b in ("lang-de", "lang-en")]
        assert css[0] != css[1], "the active language looks like the other"
        say(seen="line source, ducking lamps, units, German names")
        # The device is gone now: the controls look and act disabled until it is back.
        enabled = "return [...document.querySelectorAll('main input, main button, main select')].filter(e => !e.disabled).length"
        wait(driver, lambda: driver.execute_script(enabled) == 0, 30)
        say(offline="controls disabled")
        wait(driver, lambda: named(driver, "MIC 1 gain").is_enabled(), 30)
        logs = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        if logs:
            say(console=logs)
            return 1
        return 0
    finally:
        driver.quit()


if __name__ == "__main__":
    sys.exit(main())
