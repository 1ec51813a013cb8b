# Sourced by the shell tests that need a program the test command installs
# (scripts/install-deps.sh). On a developer's machine a missing tool is a visible skip (exit 77);
# where the tools are promised (CI set, or QUILLORN_REQUIRE_TOOLS=1 as scripts/test.sh sets
# it) it is a failure, so a broken environment can never pass for a green run.
#   missing_tool TEST_NAME WHAT_IS_MISSING [WHAT_TO_DO]

tools_required() {
    for value in "${QUILLORN_REQUIRE_TOOLS:-}" "${CI:-}"; do
        case "$value" in
            "" | 0 | false) ;;
            *) return 0 ;;
        esac
    done
    return 1
}

missing_tool() {
    if tools_required; then
        echo "$1: $2 is missing, and this run requires it: ${3:-install it with scripts/install-deps.sh}" >&2
        exit 1
    fi
    echo "$1: $2 is missing: skipped"
    exit 77
}
