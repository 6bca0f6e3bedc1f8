#!/usr/bin/env python3
"""A local stand-in for the sound-effect site and the maker's download server.

Serves on 127.0.0.1: the listing page, two sound pages (one in GBK, one in
UTF-8 declared by a meta tag) each with a short MP3, and the version file.
Point the program at it with VELINOR_SITE=127.0.0.1:<port> and
VELINOR_DOWNLOAD_SERVER=http://127.0.0.1:<port>.
"""
import argparse
import http.server
import sys
from pathlib import Path
from urllib.parse import unquote, urlsplit

HERE = Path(__file__).resolve().parent

SOUNDS = {
    # path: (title, audio file, page charset)
    "/media/sound/1001.html": ("夏夜雨声", "rain.mp3", "gbk"),
    "/media/sound/1002.html": ("清脆铃声", "bell.mp3", "utf-8"),
}


def sound_page(host, title, audio, charset):
    return f"""<!DOCTYPE html>
<html><head>
<meta http-equiv="Content-Type" content="text/html; charset={charset}">
<title>{title}下载_正版音效素材_Velinor</title>
</head><body>
<h1>{title}</h1>
<audio controls><source src="//{host}/audio/{audio}" type="audio/mpeg"></audio>
<p><a href="/soundeffect/">返回音效列表</a></p>
</body></html>
""".encode(charset)


def listing_page():
    items = "\n".join(f'<li><a href="{path}">{title}</a></li>' for path, (title, _, _) in SOUNDS.items())
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>音效素材_Velinor</title></head>
<body><h1>音效</h1><ul>
{items}
</ul></body></html>
""".encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    version_text = b"1.2.0"
    server_version = "VelinorDemo/1.0"

    def do_GET(self):
        path = unquote(urlsplit(self.path).path)
        host = self.headers.get("Host", f"127.0.0.1:{self.server.server_port}")
        if path in SOUNDS:
            title, audio, charset = SOUNDS[path]
            self.reply(200, sound_page(host, title, audio, charset), f"text/html; charset={charset}")
        elif path == "/soundeffect/":
            self.reply(200, listing_page(), "text/html; charset=utf-8")
        elif path.startswith("/audio/") and (HERE / path[len("/audio/"):]).is_file():
            self.reply(200, (HERE / path[len("/audio/"):]).read_bytes(), "audio/mpeg")
        elif path == "/e/yz/velinor_exe.txt":
            self.reply(200, self.version_text, "text/plain")
        else:
            self.reply(404, b"<html><body>404 Not Found</body></html>", "text/html")

    def reply(self, status, body, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("demo site: " + fmt % args + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0, help="0 lets the kernel pick one")
    parser.add_argument("--version", default="1.2.0", help="what the version file holds")
    parser.add_argument("--port-file", help="write the chosen port to this file")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    Handler.version_text = args.version.encode()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.verbose = args.verbose
    port = server.server_port
    if args.port_file:
        Path(args.port_file).write_text(str(port))
    print(f"demo site on http://127.0.0.1:{port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
