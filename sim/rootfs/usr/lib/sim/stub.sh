# Shared by the board's stub tools: record the call in the board's journal, and fail when the
# board has been told that this tool fails (a file /sim/fail/NAME).
stub_record() {
    stub_name=$1
    shift
    echo "$stub_name${*:+ $*}" >> /sim/journal.log
    if [ -e "/sim/fail/$stub_name" ]; then
        exit 1
    fi
}

# Leaves a mark for the launcher about how this boot ended.
stub_mark() {
    mkdir -p /sim/run
    : > "/sim/run/$1"
}
