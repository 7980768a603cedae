! The peer of the data reader: the same benchmark file read by an ordinary formatted READ with
! the format from the file's second line, timed, and the values written as raw bit patterns.
!
!   peer_read FILE COLUMNS REPEATS DUMP
!
! Plain mode (no 'a' in the format): one READ whose list is the whole matrix, the format
! applied again for each record. Label mode: one READ per record, the values and the label.
program peer_read
  implicit none
  character(len=512) :: path, dump, arg
  character(len=200) :: head
  character(len=50) :: fmt
  integer :: m, repeats, n, u, r, i, j, a, b
  double precision :: c0, c1
  real, allocatable :: x(:, :)
  character(len=25), allocatable :: t(:)
  double precision, allocatable :: seconds(:)
  double precision :: tmp, median
  logical :: labels

  call get_command_argument(1, path)
  call get_command_argument(2, arg)
  read (arg, *) m
  call get_command_argument(3, arg)
  read (arg, *) repeats
  call get_command_argument(4, dump)

  open (newunit=u, file=trim(path), status='old', action='read')
  read (u, '(a)') head
  read (u, '(a)') head
  read (head, *) n
  a = index(head, '(')
  b = index(head, ')', back=.true.)
  fmt = head(a:b)
  labels = index(fmt, 'a') > 0

  allocate (x(m, n), t(n), seconds(repeats))
  x = 0.0  ! the pages touched before the clock starts, as on the C++ side
  do r = 1, repeats
    rewind (u)
    read (u, *)
    read (u, *)
    call cpu_time(c0)
    if (labels) then
      do i = 1, n
        read (u, fmt) (x(j, i), j = 1, m), t(i)
      end do
    else
      read (u, fmt) x
    end if
    call cpu_time(c1)
    seconds(r) = c1 - c0
  end do
  close (u)

  do i = 1, repeats
    do j = i + 1, repeats
      if (seconds(j) < seconds(i)) then
        tmp = seconds(i)
        seconds(i) = seconds(j)
        seconds(j) = tmp
      end if
    end do
  end do
  median = seconds(repeats / 2 + 1)
  write (*, '(i0,a,f0.4,a,f0.2,a)') m * n, ' values  ', median, ' s  ', &
    dble(m) * dble(n) / median / 1d6, ' M values/s'

  open (newunit=u, file=trim(dump), access='stream', form='unformatted', status='replace')
  write (u) x
  close (u)
end program peer_read
