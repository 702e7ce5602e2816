# bash completion for the station's programs: mpstation, mprecords, preferpack, tarnsim
# and devcmd. Installed once under each program's name.

_tarn_station() {
  local cur prev words cword
  _init_completion || return
  local program=${words[0]##*/}
  case $program in
    mpstation)
      case $prev in
        --sim) _filedir -d; return ;;
        --allow-device) _filedir; return ;;
        --runs | --timeout | --station) return ;;
      esac
      COMPREPLY=($(compgen -W '--sim --real-devices --allow-device --station --no-records
        --headless --runs --timeout --help --version' -- "$cur"))
      ;;
    mprecords)
      case $prev in
        --dir) _filedir -d; return ;;
        --db | --journal | -o) _filedir; return ;;
        --result) COMPREPLY=($(compgen -W 'success fail removed' -- "$cur")); return ;;
        --from | --to | --port | --flash-id) return ;;
      esac
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--dir --db --journal --from --to --result --port --flash-id
          --csv -o --all --timeout --local --help --version' -- "$cur"))
      else
        COMPREPLY=($(compgen -W 'list show stats export push report' -- "$cur"))
      fi
      ;;
    preferpack)
      if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'build info extract --help --version' -- "$cur"))
        return
      fi
      case $prev in
        --startup | --shutdown) _filedir -d; return ;;
        -o) _filedir dat; return ;;
        --width | --height | --fm | --language | --contrast) return ;;
      esac
      if [[ ${words[1]} == build ]]; then
        COMPREPLY=($(compgen -W '--startup --shutdown --width --height --fm --language
          --contrast -o' -- "$cur"))
      elif ((cword == 2)); then
        _filedir dat
      else
        _filedir -d
      fi
      ;;
    tarnsim)
      if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'create plug unplug fault show trace --help --version' -- "$cur"))
      elif ((cword == 2)); then
        _filedir -d
      elif ((cword == 3)); then
        COMPREPLY=($(compgen -W 'E F G H I J K L M N O P Q R S T U V W X Y Z' -- "${cur^^}"))
      elif [[ ${words[1]} == create ]]; then
        [[ $prev == --mode ]] && COMPREPLY=($(compgen -W 'rom fsm firmware update generic' -- "$cur")) ||
          COMPREPLY=($(compgen -W '--flash-id --items --bonding --capacity --port-code --mode
            --latency-ms --check-polls' -- "$cur"))
      elif [[ ${words[1]} == fault ]]; then
        COMPREPLY=($(compgen -W '--after --vanish --clear' -- "$cur"))
      fi
      ;;
    devcmd)
      if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'E: F: G: H: I: J: K: L:' -- "${cur^^}"))
        [[ $cur == /* ]] && _filedir
      elif ((cword == 2)); then
        COMPREPLY=($(compgen -W 'rd_id wt_cfg chk_bad_s chk_bad_p blk_chk_s blk_chk_p era
          wt_mgr_s wt_mgr wt_mgr_e wt_pgr_s wt_pgr wt_pgr_e reset q_1st_burn 2st_reset chg_clk
          chk_is_updatedisk set_sys_area get_flash_item IS_TARN get_lcd_size
          chk_update_success get_size_MB erase_nor_flash disk_decrypt check_passwd
          change_passwd read_bnd_id' -- "$cur"))
      else
        _filedir
      fi
      ;;
  esac
} &&
  complete -F _tarn_station mpstation mprecords preferpack tarnsim devcmd
