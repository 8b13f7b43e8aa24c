"""american_put_prices and american_call_prices against an independent
reference: Bermudan puts by the COS method extrapolated in the number of
exercise dates, calls through put-call symmetry (make_american_references.py
writes data/american_references.json)."""
import json
import pathlib
from collections import defaultdict

import jdpricer_batch as batch

DATA = pathlib.Path(__file__).resolve().parent / "data" / "american_references.json"
ACCURACY = 1e-6  # the functions' default, in units of the strike


def test_american_prices_match_the_independent_reference():
    rows = json.loads(DATA.read_text())["rows"]
    assert len(rows) >= 20 and {row["case"]["type"] for row in rows} == {"put", "call"}
    worst = defaultdict(lambda: (0.0, None))
    failures = []
    for row in rows:
        c = row["case"]
        function = batch.american_put_prices if c["type"] == "put" else batch.american_call_prices
        got = float(function(c["T"], c["K"], c["S"], c["r"], c["sigma"], c["lam"], c["p"], c["eta1"], c["eta2"],
                             q=c["q"]))
        want = float(row["price"])
        error = (got - want) / c["K"]
        if abs(error) >= abs(worst[c["regime"]][0]):
            worst[c["regime"]] = (error, c)
        if not abs(got - want) <= ACCURACY * c["K"] + row["error_estimate"]:
            failures.append((c, got, want, row["error_estimate"]))
    table = "\n".join(f"{regime:>14}: worst error {error:+.2e} K at T={c['T']} S={c['S']} r={c['r']} q={c['q']}"
                      for regime, (error, c) in sorted(worst.items()))
    print(table)
    assert not failures, table + "\n" + "\n".join(
        f"{c['type']} T={c['T']} K={c['K']} S={c['S']} r={c['r']} q={c['q']} sigma={c['sigma']} lam={c['lam']}: "
        f"{got!r} against {want!r} +- {estimate:.1e} (error {(got - want) / c['K']:+.2e} K)"
        for c, got, want, estimate in failures)
