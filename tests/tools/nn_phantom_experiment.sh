#!/usr/bin/env bash
# How well the network tells true specks from false regions on synthetic
# films: regions are grown from detected seeds on two phantoms of different
# seeds, labelled true when a speck the phantom drew lies in their bounds,
# and a network trained on the first film is tested on the second.
#
# usage: nn_phantom_experiment.sh VISTREL_CLI [WORK_DIR]
# Needs python3 (for the labelling). Prints the test result of the second film.
set -euo pipefail

cli=${1:?usage: nn_phantom_experiment.sh VISTREL_CLI [WORK_DIR]}
work=${2:-$(mktemp -d)}
mkdir -p "$work"
cd "$work"

# threshold of the seeds' LoG response: about as many false regions as specks
threshold=50

film() {  # NAME SEED
    local name=$1 seed=$2
    "$cli" phantom "$name.pgx" --seed "$seed" --clusters 6 --spots 30 >"$name.phantom.json"
    "$cli" grow "$name.pgx" --spots --threshold "$threshold" \
        --overlay "$name.grown.OVERLAY" >"$name.grow.json"
    rm -f "$name.all.ftr"
    "$cli" features "$name.pgx" --overlay "$name.grown.OVERLAY" \
        --ftr "$name.all.ftr" >"$name.features.json"
    # The rows of the feature file follow the regions of the features
    # document; each row's diagnosis becomes MALIGNANT for a cluster speck,
    # BENIGN for an isolated one, FALSE for a region on no speck.
    python3 - "$name" <<'EOF'
import json, sys
name = sys.argv[1]
specks = json.load(open(name + ".phantom.json"))["calcifications"]
grown = json.load(open(name + ".grow.json"))["regions"]
rows = json.load(open(name + ".features.json"))["regions"]
lines = open(name + ".all.ftr").read().split("\n")
header, body = lines[0], [l for l in lines[1:] if l]
assert len(body) == len(rows), (len(body), len(rows))
out = [header]
counts = {"MALIGNANT": 0, "BENIGN": 0, "FALSE": 0}
for line, row in zip(body, rows):
    left, top, right, bottom = grown[row["index"]]["bounds"]
    word = "FALSE"
    for s in specks:
        if left - 1 <= s["x"] <= right and top - 1 <= s["y"] <= bottom:
            word = "MALIGNANT" if s["cluster"] else "BENIGN"
            break
    counts[word] += 1
    fields = line.split("\t")
    fields[1] = word
    out.append("\t".join(fields))
open(name + ".ftr", "w").write("\n".join(out) + "\n")
print(name, "regions:", counts, file=sys.stderr)
EOF
}

film learn 11
film test 12

"$cli" nn train learn.ftr --hidden 8 --seed 1 --out phantom.nn >train.json
"$cli" nn test phantom.nn test.ftr --report nn_test.wynik >test.json
python3 - <<'EOF'
import json
train = json.load(open("train.json"))
test = json.load(open("test.json"))
print("training: %d patterns, %d epochs, last error %.6f, reached accuracy %s, %d features"
      % (train["patterns"], train["epochs"], train["error"][-1], train["reached_accuracy"],
         len(train["features"])))
print("test: %d patterns (%d true, %d false)"
      % (test["patterns"], test["true_objects"], test["false_objects"]))
print("accuracy %.4f sensitivity %.4f specificity %.4f"
      % (test["accuracy"], test["sensitivity"], test["specificity"]))
print("counts:", json.dumps(test["counts"]))
EOF
