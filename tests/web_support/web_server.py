#!/usr/bin/env python3
"""A web host for the web services' tests, on a free loopback port.

Prints the port as its first line, then serves until it is killed:
  GET  files below --root ("/" is index.html), and a few network faults:
       /redirect-loop, /redirect-to/PATH, /huge (an endless body), /stall... (never answers),
       /status/CODE
  POST /php-bin/app_feedback.php: reads the multipart form (slowly when ROOT/slow exists),
       writes it to ROOT/posted.json and, one plain file a value, to ROOT/posted/ (path,
       content_type, user_agent, accept, and N/name, N/filename, N/type, N/data for part N),
       and answers with ROOT/answer ("Script Completed" when missing), or with the status
       in ROOT/status when that exists.
Every request line is appended to ROOT/requests.log.
"""
import argparse
import base64
import json
import os
import re
import shutil
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024
SLOW_CHUNK = 16 * 1024
SLOW_PAUSE = 0.05
HUGE_LIMIT = 256 * 1024 * 1024


def split_form(content_type, body):
    """The parts of a multipart/form-data body, in order."""
    found = re.search(r'boundary="?([^";]+)"?', content_type or "")
    if not found:
        return []
    parts = []
    for chunk in body.split(b"--" + found.group(1).encode())[1:]:
        if chunk.startswith(b"--"):
            break
        chunk = chunk[2:] if chunk.startswith(b"\r\n") else chunk
        head, _, data = chunk.partition(b"\r\n\r\n")
        if data.endswith(b"\r\n"):
            data = data[:-2]
        headers = {}
        for line in head.decode("utf-8", "replace").split("\r\n"):
            key, _, value = line.partition(":")
            headers[key.strip().lower()] = value.strip()
        disposition = headers.get("content-disposition", "")
        name = re.search(r'\bname="([^"]*)"', disposition)
        filename = re.search(r'\bfilename="([^"]*)"', disposition)
        parts.append({
            "name": name.group(1) if name else None,
            "filename": filename.group(1) if filename else None,
            "type": headers.get("content-type"),
            "data": base64.b64encode(data).decode("ascii"),
        })
    return parts


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def file(self, name):
        return os.path.join(self.root, name)

    def note(self):
        with open(self.file("requests.log"), "a") as log:
            log.write(f"{self.command} {self.path}\n")

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.note()
        path = self.path.split("?")[0]
        if path == "/redirect-loop":
            self.answer(302, headers=[("Location", "/redirect-loop")])
        elif path.startswith("/redirect-to/"):
            self.answer(302, headers=[("Location", path[len("/redirect-to"):])])
        elif path == "/huge":
            self.send_huge()
        elif path.startswith("/stall"):
            time.sleep(60)
        elif path.startswith("/status/"):
            self.answer(int(path[len("/status/"):]), b"status")
        else:
            self.send_file(path)

    def send_file(self, path):
        name = os.path.normpath(os.path.join(self.root, (path.lstrip("/") or "index.html")))
        if not name.startswith(os.path.abspath(self.root)) or not os.path.isfile(name):
            self.answer(404, b"not found")
            return
        with open(name, "rb") as f:
            self.answer(200, f.read())

    def send_huge(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Connection", "close")
        self.end_headers()
        sent = 0
        try:
            while sent < HUGE_LIMIT:
                self.wfile.write(b"x" * CHUNK)
                sent += CHUNK
        except OSError:
            pass

    def keep_files(self, posted):
        """The post as plain files, for tests that read no JSON."""
        folder = self.file("posted.new")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for key in ("path", "content_type", "user_agent", "accept"):
            with open(os.path.join(folder, key), "w", encoding="utf-8") as f:
                f.write(posted[key] or "")
        for number, part in enumerate(posted["parts"]):
            os.makedirs(os.path.join(folder, str(number)))
            for key in ("name", "filename", "type"):
                with open(os.path.join(folder, str(number), key), "w", encoding="utf-8") as f:
                    f.write(part[key] or "")
            with open(os.path.join(folder, str(number), "data"), "wb") as f:
                f.write(base64.b64decode(part["data"]))
        shutil.rmtree(self.file("posted"), ignore_errors=True)
        os.replace(folder, self.file("posted"))

    def do_POST(self):
        self.note()
        length = int(self.headers.get("Content-Length", "0"))
        slow = os.path.exists(self.file("slow"))
        body = bytearray()
        try:
            while len(body) < length:
                piece = self.rfile.read(min(SLOW_CHUNK if slow else CHUNK, length - len(body)))
                if not piece:
                    return
                body += piece
                if slow:
                    time.sleep(SLOW_PAUSE)
        except OSError:
            return
        posted = {
            "path": self.path,
            "content_type": self.headers.get("Content-Type"),
            "user_agent": self.headers.get("User-Agent"),
            "accept": self.headers.get("Accept"),
            "parts": split_form(self.headers.get("Content-Type"), bytes(body)),
        }
        self.keep_files(posted)
        with open(self.file("posted.json.part"), "w") as f:
            json.dump(posted, f)
        os.replace(self.file("posted.json.part"), self.file("posted.json"))
        status = 200
        if os.path.exists(self.file("status")):
            with open(self.file("status")) as f:
                status = int(f.read().strip())
        reply = b"<html><body>Script Completed</body></html>"
        if os.path.exists(self.file("answer")):
            with open(self.file("answer"), "rb") as f:
                reply = f.read()
        self.answer(status, reply)


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that hang up early are part of the tests


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    Handler.root = os.path.abspath(parser.parse_args().root)
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
