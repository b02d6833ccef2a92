# bash completion for vornbsl-cli and vornbsl-sensor-cli: their commands and options, and
# --port completed from the program's own port list ("vornbsl-cli ports").

# The port names of "PROGRAM ports": the first column below the header; nothing when none.
_vornbsl_ports() {
    "$1" ports 2>/dev/null | awk 'NR > 1 && NF >= 3 { print $1 }'
}

_vornbsl_cli() {
    local cur prev program command i
    COMPREPLY=()
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    program="${COMP_WORDS[0]}"

    # The command is the first word that is neither an option nor the --data-dir value.
    command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            --data-dir) ((i++)) ;;
            -*) ;;
            *) command="${COMP_WORDS[i]}"; break ;;
        esac
    done

    case "$prev" in
        --port)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_vornbsl_ports "$program")" -- "$cur"))
            return 0 ;;
        --data-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return 0 ;;
        --firmware)
            COMPREPLY=($(compgen -f -- "$cur"))
            return 0 ;;
        --type)
            COMPREPLY=($(compgen -W "122 120 119 118 261 117 262 113 109 112 102 260 95 94 92 93 264" -- "$cur"))
            return 0 ;;
        --new-sn|--host|--sn)
            return 0 ;;
        --settings)
            COMPREPLY=($(compgen -W "$("$program" settings list --json 2>/dev/null | sed -n 's/^{"id":"\([0-9a-f]*\)".*/\1/p')" -- "$cur"))
            return 0 ;;
    esac

    local options
    case "$command" in
        "")
            options="--data-dir --version --help update ports identify dump loader-upload settings check-version" ;;
        update)
            if [[ "${program##*/}" == vornbsl-sensor-cli ]]; then
                options="--port --type --yes --no --factory --repair --firmware --settings"
            else
                options="--port --yes --no --factory --repair --firmware --new-sn --no-erase --settings"
            fi ;;
        settings)
            case "${COMP_WORDS[i+1]}" in
                list) options="--sn --json" ;;
                restore) options="--port --yes --no" ;;
                show) options="" ;;
                *) options="list show restore" ;;
            esac
            if ((COMP_CWORD == i + 1)); then options="list show restore"; fi ;;
        ports) options="--all" ;;
        identify) options="--port" ;;
        dump)
            options="--firmware"
            if [[ "$cur" != -* ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
                return 0
            fi ;;
        loader-upload) options="--port --firmware" ;;
        check-version) options="--host" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return 0
}

complete -F _vornbsl_cli vornbsl-cli vornbsl-sensor-cli
