#!/usr/bin/env python3
"""The peer of the modern scan in the scanner benchmark: Python's html.parser reading the same
attributes (links, frames, img src/srcset and lazy attributes, picture and media sources,
posters, share pictures, image_src, style urls), resolving them with urljoin and sorting them
into documents and files without duplicates, as the modern scan does.

usage: modern_extract.py PAGE BASE ROUNDS
prints: best wall seconds, best processor seconds, documents, files
"""
import re
import sys
import time
from html.parser import HTMLParser
from urllib.parse import urljoin, urldefrag, urlsplit

FILE_EXTENSIONS = {"jpg", "jpeg", "png", "gif", "webp", "avif", "bmp", "tif", "tiff", "svg", "avi", "mpg",
                   "mpeg", "mp4", "m4v", "mov", "webm", "mkv", "mp3", "m4a", "ogg", "opus", "flac", "wav",
                   "zip", "7z", "rar", "tar", "gz", "tgz", "bz2", "xz", "zst", "pdf", "epub"}
LAZY = {"data-src", "data-lazy-src", "data-original", "data-original-src", "data-lazy", "data-echo",
        "data-full-src", "data-fullsrc", "data-hi-res-src", "data-hires", "data-lazyload", "data-orig-file",
        "data-large-file", "data-zoom-image", "data-zoom-src"}
LAZY_SETS = {"data-srcset", "data-lazy-srcset", "data-original-set"}
META = {"og:image", "og:image:url", "og:image:secure_url", "twitter:image", "twitter:image:src"}
CSS_URL = re.compile(r"url\(\s*['\"]?([^'\")]+)", re.I)


def srcset(value):
    out = []
    for part in value.split(","):
        words = part.split()
        if not words:
            continue
        width, density = 0, 1.0
        for d in words[1:]:
            try:
                if d.endswith("w"):
                    width = int(d[:-1])
                elif d.endswith("x"):
                    density = float(d[:-1])
            except ValueError:
                pass
        out.append((width, density, words[0]))
    return out


class Extractor(HTMLParser):
    def __init__(self, base):
        super().__init__(convert_charrefs=True)
        self.base = base
        self.seen = set()
        self.documents = []
        self.files = []

    def add(self, raw, media):
        url = urldefrag(urljoin(self.base, raw.strip()))[0]
        parts = urlsplit(url)
        if parts.scheme not in ("http", "https") or not parts.netloc or url in self.seen:
            return
        self.seen.add(url)
        name = parts.path.rsplit("/", 1)[-1]
        if media or ("." in name and name.rsplit(".", 1)[1].lower() in FILE_EXTENSIONS):
            self.files.append(url)
        else:
            self.documents.append(url)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        style = a.get("style")
        if style and "url(" in style.lower():
            for url in CSS_URL.findall(style):
                self.add(url, True)
        if tag in ("a", "area") and a.get("href") is not None:
            self.add(a["href"], False)
        elif tag in ("frame", "iframe") and a.get("src") is not None:
            self.add(a["src"], False)
        elif tag == "img":
            plain, lazy = [], []
            for k, v in attrs:
                if v is None:
                    continue
                if k == "src":
                    plain.append((0, 1.0, v))
                elif k == "srcset":
                    plain += srcset(v)
                elif k in LAZY:
                    lazy.append((0, 1.0, v))
                elif k in LAZY_SETS:
                    lazy += srcset(v)
            candidates = lazy or plain
            if candidates:
                self.add(max(candidates, key=lambda c: (c[0], c[1]))[2], True)
        elif tag in ("video", "audio", "source"):
            for k in ("src", "poster"):
                if a.get(k):
                    self.add(a[k], True)
        elif tag == "meta" and (a.get("property") or a.get("name") or "").lower() in META and a.get("content"):
            self.add(a["content"], True)
        elif tag == "link" and "image_src" in (a.get("rel") or "").lower().split() and a.get("href"):
            self.add(a["href"], True)


def main():
    page = open(sys.argv[1], "rb").read().decode("utf-8", "replace")
    base = sys.argv[2]
    wall = cpu = None
    for _ in range(int(sys.argv[3])):
        start, start_cpu = time.perf_counter(), time.process_time()
        extractor = Extractor(base)
        extractor.feed(page)
        extractor.close()
        took, took_cpu = time.perf_counter() - start, time.process_time() - start_cpu
        wall = took if wall is None else min(wall, took)
        cpu = took_cpu if cpu is None else min(cpu, took_cpu)
    print(wall, cpu, len(extractor.documents), len(extractor.files))


main()
