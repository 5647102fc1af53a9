"""The browser tests' https: a throw-away certificate authority, a page server that speaks
https and plain http on one port, and a TLS front for a plain server.

The authority is made at test time with the openssl command line in the test's own temporary
folder: a CA certificate, valid for two days and constrained to the test's host names, signs
one server certificate for the bank's domain, its subdomains and the foreign test hosts; the
CA's key is deleted as soon as it has signed. Only the browser of the test trusts the CA:
Chromium through the NSS database in the HOME it is started with ($HOME/.pki/nssdb), Firefox
through its private profile's cert9.db (both written with certutil), QtWebKit through the
CA certificates of Qt's default QSslConfiguration (qt_trust). Nothing of it is kept.

    python3 https_rig.py --folder DIR --name NAME... --front PORT --backend PORT [--ready FILE]

makes the authority in DIR (DIR/ca.pem is the CA certificate for the browser) and serves
https on 127.0.0.1:PORT, each connection passed on to the plain server at 127.0.0.1:BACKEND;
FILE is written once it listens.
"""
import argparse
import os
import socket
import ssl
import subprocess
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CA_NAME = 'Quilta browser tests throw-away CA'


def _openssl(*args):
    r = subprocess.run(['openssl'] + list(args), capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError('openssl %s: %s' % (args[0], r.stderr.strip()))


class TestCA:
    """The authority and the server certificate for `names` (DNS names; '*.x' for the
    subdomains of x), in `folder`."""

    def __init__(self, folder, names):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.ca = os.path.join(folder, 'ca.pem')
        self.cert = os.path.join(folder, 'server.pem')
        self.key = os.path.join(folder, 'server.key')
        ca_key = os.path.join(folder, 'ca.key')
        csr = os.path.join(folder, 'server.csr')
        ext = os.path.join(folder, 'server.ext')
        # The CA may sign for the test hosts only (a DNS constraint covers the subdomains too).
        roots = sorted({n[2:] if n.startswith('*.') else n for n in names})
        permitted = ','.join('permitted;DNS:' + r for r in roots)
        ec = ['-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes']
        _openssl('req', '-x509', *ec, '-keyout', ca_key, '-out', self.ca, '-days', '2',
                 '-subj', '/CN=' + CA_NAME,
                 '-addext', 'basicConstraints=critical,CA:TRUE,pathlen:0',
                 '-addext', 'keyUsage=critical,keyCertSign,cRLSign',
                 '-addext', 'nameConstraints=critical,' + permitted)
        _openssl('req', '-new', *ec, '-keyout', self.key, '-out', csr, '-subj', '/CN=' + names[0])
        with open(ext, 'w') as f:
            f.write('subjectAltName=%s\nbasicConstraints=critical,CA:FALSE\n'
                    'keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n'
                    % ','.join('DNS:' + n for n in names))
        _openssl('x509', '-req', '-in', csr, '-CA', self.ca, '-CAkey', ca_key, '-set_serial',
                 str(int.from_bytes(os.urandom(8), 'big')), '-days', '2', '-extfile', ext,
                 '-out', self.cert)
        os.remove(ca_key)
        os.remove(csr)

    def nss_trust(self, db):
        """Makes an NSS database in `db` (Chromium: $HOME/.pki/nssdb; Firefox: the profile)
        that trusts the CA for servers."""
        os.makedirs(db, exist_ok=True)
        for argv in (['-N', '--empty-password'], ['-A', '-n', CA_NAME, '-t', 'C,,', '-i', self.ca]):
            r = subprocess.run(['certutil', '-d', 'sql:' + db] + argv, capture_output=True, text=True)
            if r.returncode != 0:
                raise RuntimeError('certutil %s: %s' % (argv[0], (r.stdout + r.stderr).strip()))

    def server_context(self):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(self.cert, self.key)
        return ctx


def qt_trust(ca_pem):
    """Qt's default TLS configuration trusts the CA in `ca_pem` and nothing else (call once
    the QApplication exists, before the first request)."""
    from PyQt5.QtNetwork import QSslCertificate, QSslConfiguration
    conf = QSslConfiguration.defaultConfiguration()
    conf.setCaCertificates(QSslCertificate.fromPath(ca_pem))
    QSslConfiguration.setDefaultConfiguration(conf)


def _accept_tls(sock, ctx):
    """The connection as https when it opens with a TLS record, else as it is; None when the
    client went away or its handshake failed."""
    try:
        first = sock.recv(1, socket.MSG_PEEK)
        if not first:
            return None
        if first != b'\x16':
            return sock
        return ctx.wrap_socket(sock, server_side=True)
    except (OSError, ssl.SSLError):
        return None


class PageServer(ThreadingHTTPServer):
    """Serves `handler` (a subclass of Handler) on 127.0.0.1 at a free port, https and plain
    http alike. A proxy's CONNECT (QtWebKit reaches the test hosts with this server as its
    proxy) is answered on the same connection, which then carries what the tunnel would."""

    daemon_threads = True

    def __init__(self, handler, ca):
        super().__init__(('127.0.0.1', 0), handler)
        self.port = self.server_address[1]
        self.tls = ca.server_context()

    def finish_request(self, request, client_address):
        conn = _accept_tls(request, self.tls)
        if conn is not None:
            self.RequestHandlerClass(conn, client_address, self)

    def start(self):
        threading.Thread(target=self.serve_forever, daemon=True).start()
        return self


class Handler(BaseHTTPRequestHandler):
    """Base of the pages' request handlers: `self.https` tells how the page came."""

    def log_message(self, *a):
        pass

    def setup(self):
        super().setup()
        self.https = isinstance(self.connection, ssl.SSLSocket)

    def do_CONNECT(self):
        self.send_response(200, 'Connection established')
        self.end_headers()
        self.wfile.flush()
        self.close_connection = True
        self.server.finish_request(self.connection, self.client_address)


def _read_request(conn):
    """One request from `conn`: the head up to the blank line and a body of Content-Length
    bytes (the plain server behind the front takes one request per connection)."""
    data = b''
    while b'\r\n\r\n' not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        data += chunk
    head, _, body = data.partition(b'\r\n\r\n')
    length = 0
    for line in head.split(b'\r\n')[1:]:
        key, _, value = line.partition(b':')
        if key.strip().lower() == b'content-length':
            length = int(value.strip())
    while len(body) < length:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        body += chunk
    return head + b'\r\n\r\n' + body


def front(ca, port, backend, ready=None):
    """https on 127.0.0.1:port for the plain http server at 127.0.0.1:backend, which answers
    one request per connection and then closes it."""
    listener = socket.create_server(('127.0.0.1', port))
    ctx = ca.server_context()
    if ready:
        with open(ready, 'w') as f:
            f.write('%d\n' % listener.getsockname()[1])

    def serve(client):
        conn = None
        try:
            client.settimeout(60)
            conn = _accept_tls(client, ctx)
            if conn is None or not isinstance(conn, ssl.SSLSocket):
                return
            request = _read_request(conn)
            if request is None:
                return
            with socket.create_connection(('127.0.0.1', backend), timeout=60) as plain:
                plain.sendall(request)
                while True:
                    data = plain.recv(65536)
                    if not data:
                        break
                    conn.sendall(data)
        except (OSError, ValueError):
            pass
        finally:
            (conn or client).close()

    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client,), daemon=True).start()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--folder', required=True)
    ap.add_argument('--name', action='append', required=True)
    ap.add_argument('--front', type=int, required=True)
    ap.add_argument('--backend', type=int, required=True)
    ap.add_argument('--ready')
    args = ap.parse_args()
    front(TestCA(args.folder, args.name), args.front, args.backend, args.ready)


if __name__ == '__main__':
    sys.exit(main())
