# bash completion for tamberlane-cli: commands, options, image files by the extensions the
# program reads, and paths inside an image (listed by `tamberlane-cli ls -F`).
#
# Everything is read from the program's own help under LC_ALL=C, whose texts never change:
# its overview names each command with its arguments, e.g.
#   tamberlane-cli put IMAGE HOSTFILE... [--to PATH] [--overwrite] [--long-names auto|always|never]

_tamberlane_cli_help() {
    LC_ALL=C "$1" --help 2>/dev/null
}

_tamberlane_cli_image_files() {
    local extensions pattern
    extensions=$(sed -n 's/^読み取れる拡張子: //p' <<<"$1")
    pattern=$(printf '%s' "$extensions" | tr ' ' '\n' |
        while read -r e; do [ -n "$e" ] && printf '%s|%s|' "$e" "${e^^}"; done)
    pattern=${pattern%|}
    _filedir "@(${pattern})"
}

# Paths inside the image: the folder typed so far is listed, folders end in "/".
_tamberlane_cli_image_paths() {
    local program=$1 image=$2
    shift 2
    local typed folder="" names
    # Names hold spaces and more: matched as typed, dequoted; readline quotes the result.
    typed=$(dequote "$cur")
    [[ $typed == */* ]] && folder=${typed%/*}/
    names=$("$program" "$@" ls -F -- "$image" "${folder:-/}" 2>/dev/null) || return
    local IFS=$'\n'
    COMPREPLY=($(compgen -P "$folder" -W "$names" -- "${typed#"$folder"}"))
    compopt -o filenames
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]] && compopt -o nospace
}

_tamberlane_cli() {
    local cur prev words cword
    _init_completion || return
    local program=${words[0]}
    # Read once: each run of the program costs more than the rest of the completion.
    local help
    help=$(_tamberlane_cli_help "$program")
    local -a global=()
    local command="" image="" usage
    local i=1 positional=0
    local -a values=(--manual --disk --partition)

    # The command, the image and the global options that choose the volume.
    while [[ $i -lt $cword ]]; do
        local word=${words[i]}
        if [[ " ${values[*]} " == *" $word "* ]]; then
            global+=("$word" "${words[i + 1]}")
            i=$((i + 2))
            continue
        fi
        if [[ $word == --force ]]; then
            global+=("$word")
        elif [[ $word != -* ]]; then
            if [[ -z $command ]]; then
                command=$word
                # Its usage words: "IMAGE HOSTFILE... [--to PATH] ...".
                usage=$(sed -n "s/^  tamberlane-cli $command //p" <<<"$help")
            else
                [[ $positional -eq 0 ]] && image=$word
                positional=$((positional + 1))
            fi
        elif [[ -n $command && " $usage " == *"[$word "* ]]; then
            # An option of the command that takes a value: skip the value.
            i=$((i + 1))
        fi
        i=$((i + 1))
    done

    case $prev in
    --manual | --disk | --partition) return ;;
    esac
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version --manual --disk --partition --force" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(sed -n 's/^  tamberlane-cli \([a-z]*\) .*/\1/p' \
                <<<"$help")" -- "$cur"))
        fi
        return
    fi

    # The value an option of the command takes, by the name its usage gives it.
    if [[ $prev == -* ]]; then
        local kind
        kind=$(printf '%s\n' "$usage" | grep -o -- "\[\?$prev [^] ]*" | head -n 1)
        kind=${kind#*"$prev "}
        case $kind in
        PATH) _tamberlane_cli_image_paths "$program" "$image" "${global[@]}"; return ;;
        DIR) _filedir -d; return ;;
        *"|"*) COMPREPLY=($(compgen -W "${kind//|/ }" -- "$cur")); return ;;
        "") ;;
        *) return ;;
        esac
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(printf '%s\n' "$usage" | grep -o -- '-[-a-zA-Z]*' | sort -u)
            --help --manual --disk --partition --force" -- "$cur"))
        return
    fi

    # The positional argument at this place, by its name in the usage.
    local -a names
    read -r -a names <<<"$(printf '%s\n' "$usage" | sed 's/ \[\?-.*//; s/[][]//g')"
    local name=${names[positional]:-}
    [[ -z $name && ${names[-1]} == *... ]] && name=${names[-1]}
    case ${name%...} in
    IMAGE) _tamberlane_cli_image_files "$help" ;;
    PATH) _tamberlane_cli_image_paths "$program" "$image" "${global[@]}" ;;
    HOSTFILE | OUTPUT) _filedir ;;
    esac
}
complete -F _tamberlane_cli tamberlane-cli
