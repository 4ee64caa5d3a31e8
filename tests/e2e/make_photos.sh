mkdir -p "$1"
