"""Ctrl-C during a call of the batch, judged the same on any machine.

A SIGINT sent from a timer says something about a call only if it is handled
while the call runs. On a loaded machine the timer's thread may first run
after the call has returned, and between two calls of a loop the signal lands
in Python code; how often either happens depends on the machine's speed and
load. So the handler raises only when it runs inside the call, and an attempt
whose signal came late is made again.
"""
import os
import platform
import signal
import sys
import threading
import time

import pytest


class BatchCallWatch:
    """Profile hook (CPython): what happened to the calls of `function`."""

    def __init__(self, function):
        self.function = function
        self.events = []

    def __call__(self, frame, event, arg):
        if arg is self.function and event.startswith("c_"):
            self.events.append(event)


def _runs_inside(frame, watch, caller):
    if platform.python_implementation() == "PyPy":
        # PyPy runs handlers only from its interpreter loop, which the batch
        # enters through a Python function it calls: some frame of the
        # handler's stack is then called from `caller`'s own frame. After the
        # call the handler runs in `caller`'s frame itself, or in its caller's.
        while frame is not None:
            if frame.f_back is not None and frame.f_back.f_code is caller.__code__:
                return True
            frame = frame.f_back
        return False
    # CPython runs it from PyErr_CheckSignals within the call: entered, not left.
    return bool(watch.events) and watch.events[-1] == "c_call"


def interrupt_inside(caller, function, delay, attempts=10):
    """Calls `caller()` (a Python function whose body calls the batch
    `function` once) with a SIGINT sent `delay` seconds in, until the signal
    is handled inside the call and the call ends in KeyboardInterrupt.

    Returns the profile events of `function` in that attempt (CPython's
    show how the call ended; PyPy reports none) and the attempts it took.
    """
    watch = BatchCallWatch(function)

    def handler(signum, frame):
        if _runs_inside(frame, watch, caller):
            raise KeyboardInterrupt

    previous = signal.signal(signal.SIGINT, handler)
    try:
        for attempt in range(1, attempts + 1):
            watch.events.clear()
            timer = threading.Timer(delay, os.kill, (os.getpid(), signal.SIGINT))
            sys.setprofile(watch)
            timer.start()
            try:
                caller()
            except KeyboardInterrupt:
                return list(watch.events), attempt
            finally:
                sys.setprofile(None)
                timer.cancel()
                timer.join()
            time.sleep(0.05)  # a late signal is handled (and ignored) here
    finally:
        signal.signal(signal.SIGINT, previous)
    pytest.fail(f"no SIGINT was handled inside {function.__name__} in {attempts} attempts")
