# The libFuzzer targets and the committed corpus folders each one replays,
# shared by scripts/test (replay and a fixed-seed run) and scripts/fuzz
# (open-ended runs). Sourced, not run.
fuzz_targets="ini_fuzz profile_fuzz large_profile_fuzz pdf_fuzz image_fuzz"

# Folders under tests/fuzz/corpus: seeds, and every input that once found a
# fault (kept with its fix, so the fault cannot come back unnoticed).
fuzz_corpora() {
  case $1 in
    ini_fuzz) echo "ini" ;;
    profile_fuzz) echo "ini profile" ;;
    large_profile_fuzz) echo "ini large_profile" ;;
    pdf_fuzz) echo "pdf" ;;
    image_fuzz) echo "image" ;;
  esac
}

# Mutation runs of the fuzz stage: DEFAULT, fewer for targets whose inputs
# are expensive (profile_fuzz writes and reads two files an input, about
# 15 a second; large_profile_fuzz files of up to 9 MiB, up to 20 s each
# under the sanitizers).
fuzz_runs() {  # fuzz_runs TARGET DEFAULT
  case $1 in
    profile_fuzz) echo $(( $2 < 500 ? $2 : 500 )) ;;
    large_profile_fuzz) echo $(( $2 < 10 ? $2 : 10 )) ;;
    *) echo "$2" ;;
  esac
}

# The options every run shares: a hang or a blow-up is a finding, and the
# input size the targets are written for.
fuzz_options="-timeout=10 -rss_limit_mb=2048 -max_len=65536"

# A target's own options, after the shared ones (the later one counts):
# large_profile_fuzz parses files of up to 9 MiB three times an input.
fuzz_target_options() {
  case $1 in
    large_profile_fuzz) echo "-timeout=60" ;;
  esac
}
