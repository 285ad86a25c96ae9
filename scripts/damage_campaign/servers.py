"""Web servers for the HTTP runs: the campaign's own server for awkward
answers (every byte of the answer scripted), and real ones (nginx as it is,
without Content-Length and refusing HEAD, and Python's http.server) serving a
folder. All listen on free ports of 127.0.0.1 and are stopped at the end."""

import os
import socket
import socketserver
import struct
import subprocess
import threading
import time


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if process.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(10)
        request = b""
        try:
            while b"\r\n\r\n" not in request:
                chunk = self.request.recv(4096)
                if not chunk:
                    return  # the loader's probe connection
                request += chunk
        except OSError:
            return
        words = request.split(b"\r\n", 1)[0].split(b" ")
        method = words[0].decode(errors="replace")
        target = words[1].decode(errors="replace") if len(words) > 1 else ""
        answer = self.server.answers.get(target)
        steps = answer(method) if answer else [("send", b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")]
        try:
            for step in steps:
                if step[0] == "send":
                    self.request.sendall(step[1])
                elif step[0] == "pause":
                    time.sleep(step[1])
                elif step[0] == "reset":
                    # Closed at once with no linger: a reset, before socketserver's orderly shutdown.
                    self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.request.close()
                    return
                elif step[0] == "stall":
                    time.sleep(step[1])
                elif step[0] == "trickle":
                    # One byte at a time, `step[2]` seconds apart, until the loader hangs up.
                    for at in range(len(step[1])):
                        time.sleep(step[2])
                        self.request.sendall(step[1][at:at + 1])
        except OSError:
            pass


class AwkwardServer(socketserver.ThreadingTCPServer):
    """Answers a request target with the steps its answer function gives for
    the method: ("send", bytes), ("pause", seconds), ("reset",), ("stall", seconds),
    ("trickle", bytes, seconds between bytes)."""
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), _Handler)
        self.answers = {}
        threading.Thread(target=self.serve_forever, daemon=True).start()

    @property
    def url(self):
        return "http://127.0.0.1:%d/" % self.server_address[1]

    def stop(self):
        self.shutdown()
        self.server_close()


NGINX_VARIANTS = {
    "nginx": "",
    # A body filter that may change the length drops Content-Length: HTTP/1.0 clients read to the close.
    "nginx without Content-Length": "    sub_filter_types *;\n    sub_filter 'zandrel-never-in-a-file' 'x';\n",
    "nginx refusing HEAD": "    if ($request_method = HEAD) { return 405; }\n",
}


class RealServers:
    """nginx in its three variants and http.server, all serving `www`."""

    def __init__(self, work, www):
        self.processes = []
        self.urls = {}
        for name, extra in NGINX_VARIANTS.items():
            folder = os.path.join(work, "nginx-%d" % len(self.processes))
            os.makedirs(os.path.join(folder, "temp"))
            port = free_port()
            temps = "".join("  %s_temp_path %s/temp/%s;\n" % (kind, folder, kind)
                            for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
            with open(os.path.join(folder, "nginx.conf"), "w") as conf:
                conf.write("daemon off;\nmaster_process off;\nworker_processes 1;\npid %s/nginx.pid;\n"
                           "error_log %s/error.log;\nevents { worker_connections 64; }\nhttp {\n"
                           "  access_log off;\n%s  default_type application/octet-stream;\n"
                           "  server {\n    listen 127.0.0.1:%d;\n    root %s;\n%s  }\n}\n"
                           % (folder, folder, temps, port, www, extra))
            self._start(name, port, ["/usr/sbin/nginx", "-p", folder, "-c", folder + "/nginx.conf",
                                     "-e", folder + "/error.log"])
        port = free_port()
        self._start("python3 http.server", port, ["python3", "-m", "http.server", "--bind", "127.0.0.1",
                                                  str(port), "--directory", www])

    def _start(self, name, port, command):
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.processes.append(process)
        if not wait_for_port(port, process):
            raise RuntimeError("%s did not start" % name)
        self.urls[name] = "http://127.0.0.1:%d/" % port

    def stop(self):
        for process in self.processes:
            process.terminate()
        for process in self.processes:
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
