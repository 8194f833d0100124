#!/usr/bin/python3
"""The Wi-Fi transfer page in a real browser: headless Chromium (Debian's package) driven by
Selenium against `velvox-cli serve` on a private home, on 127.0.0.1 only.

The page lists the documents folder with sizes, uploads two files with per-file progress,
downloads one, deletes one after a confirmation, shows the server's refusal of an upload whose
name exists, puts a hostile-looking name on the page as text only, and fits a phone's width.

usage: transfer_page_test.py VELVOX_CLI
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

HOSTILE = '<img src=x onerror="document.title=1">.txt'


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def start_server(cli, home):
    proc = subprocess.Popen([cli, "--home", home, "serve", "--port", "0", "--bind", "127.0.0.1"],
                            stdout=subprocess.PIPE, text=True)
    deadline = time.time() + 30
    while time.time() < deadline:
        line = proc.stdout.readline()
        match = re.match(r"Server started: (http://127\.0\.0\.1:\d+)", line)
        if match:
            return proc, match.group(1)
        if not line and proc.poll() is not None:
            break
    proc.kill()
    fail("serve printed no address")


def rows(driver):
    """The rows of the list by name, read in one step (the page rebuilds them after a change)."""
    found = driver.execute_script(
        "return Array.from(document.querySelectorAll('#files tbody tr'))"
        ".map(r => [r.dataset.name, r]);")
    return {name: row for name, row in found}


def main():
    cli = sys.argv[1]
    work = tempfile.mkdtemp(prefix="vx-page-")
    home = os.path.join(work, "home")
    documents = os.path.join(home, "Documents")
    downloads = os.path.join(work, "downloads")
    sources = os.path.join(work, "sources")
    for folder in (documents, downloads, sources):
        os.makedirs(folder)
    with open(os.path.join(documents, "keep.txt"), "w") as f:
        f.write("kept text\n")
    with open(os.path.join(documents, "old mix.wav"), "wb") as f:
        f.write(b"\0" * 2048)
    with open(os.path.join(documents, HOSTILE), "w") as f:
        f.write("x")
    uploads = {"first.txt": b"one" * 1000, "second track.m4a": os.urandom(300000)}
    for name, data in uploads.items():
        with open(os.path.join(sources, name), "wb") as f:
            f.write(data)
    with open(os.path.join(sources, "keep.txt"), "w") as f:
        f.write("another text\n")

    proc, url = start_server(cli, home)
    options = Options()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--no-first-run", "--window-size=1200,900"):
        options.add_argument(argument)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    driver = webdriver.Chrome(service=service, options=options)
    try:
        driver.execute_cdp_cmd("Page.setDownloadBehavior",
                               {"behavior": "allow", "downloadPath": downloads})
        wait = WebDriverWait(driver, 20, ignored_exceptions=[StaleElementReferenceException])
        driver.get(url + "/")

        # The list, with sizes, and the hostile name as plain text.
        wait.until(lambda d: len(rows(d)) == 3)
        listed = rows(driver)
        check(set(listed) == {"keep.txt", "old mix.wav", HOSTILE}, "listed: %s" % list(listed))
        wait.until(lambda d: rows(d)["old mix.wav"].find_element(By.CLASS_NAME, "size").text)
        check(rows(driver)["old mix.wav"].find_element(By.CLASS_NAME, "size").text == "2.0 KB",
              "size of old mix.wav")
        check(rows(driver)[HOSTILE].find_element(By.TAG_NAME, "a").text == HOSTILE,
              "the hostile name is shown as text")
        check(not driver.find_elements(By.CSS_SELECTOR, "#files img"), "no markup from a name")
        check(driver.title != "1", "no script from a name")

        # Upload two files at once: a progress line each, both stored whole, both listed.
        chooser = driver.find_element(By.ID, "newfile")
        chooser.send_keys("\n".join(os.path.join(sources, n) for n in uploads))
        driver.find_element(By.ID, "send").click()
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#progress li.done")) == 2)
        wait.until(lambda d: len(rows(d)) == 5)
        for name, data in uploads.items():
            with open(os.path.join(documents, name), "rb") as f:
                check(f.read() == data, "uploaded %s differs" % name)

        # Download one through its link.
        rows(driver)["keep.txt"].find_element(By.TAG_NAME, "a").click()
        target = os.path.join(downloads, "keep.txt")
        # Chromium reserves the name with an empty file and writes beside it (.crdownload):
        # the download is done when that partial file is gone and the name holds the bytes.
        deadline = time.time() + 20
        while time.time() < deadline and not (
                os.path.exists(target) and os.path.getsize(target) > 0 and
                not any(n.endswith(".crdownload") for n in os.listdir(downloads))):
            time.sleep(0.1)
        with open(target) as f:
            check(f.read() == "kept text\n", "downloaded keep.txt differs")

        # Delete one, after the confirmation.
        rows(driver)["old mix.wav"].find_element(By.CLASS_NAME, "delete").click()
        wait.until(EC.alert_is_present())
        check("old mix.wav" in driver.switch_to.alert.text, "the confirmation names the file")
        driver.switch_to.alert.accept()
        wait.until(lambda d: "old mix.wav" not in rows(d))
        check(not os.path.exists(os.path.join(documents, "old mix.wav")), "old mix.wav deleted")

        # An upload the server refuses: the name exists. The page says so; the file is kept.
        chooser = driver.find_element(By.ID, "newfile")
        chooser.send_keys(os.path.join(sources, "keep.txt"))
        driver.find_element(By.ID, "send").click()
        wait.until(lambda d: "exists already" in d.find_element(By.ID, "errors").text)
        check(len(driver.find_elements(By.CSS_SELECTOR, "#progress li.failed")) == 1,
              "the refused upload is marked")
        with open(os.path.join(documents, "keep.txt")) as f:
            check(f.read() == "kept text\n", "keep.txt was replaced")

        # Readable on a phone: nothing wider than the screen.
        driver.set_window_size(390, 844)
        time.sleep(0.3)
        overflow = driver.execute_script(
            "return document.documentElement.scrollWidth - window.innerWidth")
        check(overflow <= 0, "the page is %s px wider than a phone" % overflow)
    finally:
        driver.quit()
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)
    print("transfer page: all checks passed")


if __name__ == "__main__":
    main()
