#!/usr/bin/python3
"""Packs the built extension (build/webext) as the browser stores take it, byte-identical on
every rebuild: the files in name order, one fixed time stamp, no extra fields.

    pack-webext.py --webext DIR --browser chromium|firefox --out FILE

The store gives a submitted extension its own id, so the Chromium archive leaves out the
development "key" and the Firefox settings, and the Firefox archive the key and the service
worker (Firefox runs the background script); the rest of the manifest is the build's.
"""
import argparse
import json
import os
import zipfile

FILES = ['background.js', 'page.js', 'relay.js']
STAMP = (2000, 1, 1, 0, 0, 0)


def store_manifest(manifest, browser):
    m = dict(manifest)
    m.pop('key', None)
    background = dict(m.get('background', {}))
    if browser == 'chromium':
        m.pop('browser_specific_settings', None)
        background.pop('scripts', None)
    else:
        background.pop('service_worker', None)
    m['background'] = background
    return m


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--webext', required=True)
    ap.add_argument('--browser', required=True, choices=['chromium', 'firefox'])
    ap.add_argument('--out', required=True)
    args = ap.parse_args()
    with open(os.path.join(args.webext, 'manifest.json'), encoding='utf-8') as f:
        manifest = store_manifest(json.load(f), args.browser)
    entries = {'manifest.json': (json.dumps(manifest, indent=2, ensure_ascii=False) + '\n').encode()}
    for name in FILES:
        with open(os.path.join(args.webext, name), 'rb') as f:
            entries[name] = f.read()
    tmp = args.out + '.tmp'
    with zipfile.ZipFile(tmp, 'w', zipfile.ZIP_DEFLATED) as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 3
            z.writestr(info, entries[name])
    os.replace(tmp, args.out)


if __name__ == '__main__':
    main()
