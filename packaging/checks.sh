# Sourced by the install and package checks: check NAME CONDITION runs the condition, prints
# PASS or FAIL with the name, and counts both.
failed=0
passed=0
check() {
    if eval "$2"; then
        echo "PASS: $1"
        passed=$((passed + 1))
    else
        echo "FAIL: $1"
        failed=$((failed + 1))
    fi
}
