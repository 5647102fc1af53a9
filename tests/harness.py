"""What the browser and host checks share: their count of checks, each printed as it is judged
("ok    name" or "FAIL  name: what was seen") and summed up in a last line
("chromium: 24 checks, 0 failed"; bench/nm_roundtrip_bench looks for "checks, 0 failed"),
and a poll of a condition with a deadline."""
import sys
import time


class Checks:
    def __init__(self, title=''):
        self.title = title  # the summary line's prefix, such as the browser's name
        self.count = 0
        self.failed = 0

    def check(self, name, ok, detail=''):
        """Counts and prints one check; what was seen (`detail`) only when it failed. Gives
        back whether it passed."""
        self.count += 1
        if ok:
            print('ok    %s' % name)
        else:
            self.failed += 1
            print('FAIL  %s%s' % (name, ': %s' % detail if detail != '' else ''))
        sys.stdout.flush()
        return bool(ok)

    def summary(self):
        """Prints the last line; the exit status, 0 when every check passed."""
        print('%s%d checks, %d failed' % (self.title + ': ' if self.title else '', self.count,
                                          self.failed))
        return 1 if self.failed else 0


def wait_until(done, seconds, interval=0.05):
    """Polls `done` until it gives a true value or `seconds` have passed; its last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = done()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
