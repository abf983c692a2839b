#!/bin/bash
# Moodle VPL runs this to evaluate a submission: like VPL's own scripts it reads the run's
# settings, then writes vpl_execution, which VPL runs and whose "Comment :=>>" and "Grade :=>>"
# lines it shows the student and records. The student hands in hash_output.txt (VPL_SUBFILES);
# hash_input.txt is an execution file of the activity.

# What students see of the answer key: all, diagnosis (their own lines, verdicts, where a Wrong
# line first differs and the named mistake, but no expected layout), verdict or score.
REVEAL=diagnosis

# VPL's own setup: common_script.sh reads vpl_environment.sh (VPL_SUBFILES, VPL_GRADEMAX, ...).
# shellcheck source=/dev/null
. common_script.sh

# The checker: $HASH_CHECKER, else hash_checker on PATH, else the static build uploaded as an
# execution file (build_static.sh makes it).
checker=${HASH_CHECKER:-$(command -v hash_checker || echo "$PWD/hash_checker")}
# The grade is out of the activity's maximum, with at most two decimals.
points=$(printf '%.2f' "${VPL_GRADEMAX:-10}" 2>/dev/null || echo 10)

if [ ! -x "$checker" ]; then
  cat >vpl_execution <<'END'
#!/bin/bash
echo "Comment :=>>The activity has no hash_checker: see the kit's README."
echo "Grade :=>> 0"
END
else
  cat >vpl_execution <<END
#!/bin/bash
"$checker" 0 hash_input.txt hash_output.txt --no-answer-file --vpl --reveal=$REVEAL \\
  --points=$points </dev/null 2>/dev/null
exit 0
END
fi
chmod +x vpl_execution
